// SPDX-License-Identifier: MIT
// The port configuration dialog: which parallel port, and the bus delay.
#pragma once

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace kavoda {

class RadioGroup;

// Who loads and saves the settings for the dialog's OK: the main window,
// which also shows the new port address.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    virtual void LoadSettings() = 0;
    virtual void SaveSettings() = 0;
};

class TSetupForm : public QDialog {
    Q_OBJECT
public:
    // Without a host the dialog loads and saves the settings file alone.
    explicit TSetupForm(SettingsHost* host = nullptr, QWidget* parent = nullptr);

    // Each time the dialog is shown: select the current delay and port.
    void FormActivate();
    // OK: store the choices, save and reload the settings. The dialog closes
    // with OK whatever happens here; a failure is reported.
    void OKBtnClick();

    QFrame* Bevel1 = nullptr;
    RadioGroup* PortG = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    static constexpr int kClientWidth = 212;
    static constexpr int kClientHeight = 222;
    static constexpr int kDelayItemHeight = 13;

protected:
    void showEvent(QShowEvent* event) override;

private:
    SettingsHost* m_host;
};

// The decimal conversion the dialog uses; throws "'<text>' is not a valid
// integer value" for anything else.
int strToInt(const QString& text);

} // namespace kavoda
