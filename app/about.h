// SPDX-License-Identifier: MIT
// The about box: the program's name, version and credits on a raised panel.
// It beeps when it opens and closes itself three seconds later.
#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <functional>

class QLabel;
class QTimer;

namespace kavoda {

class Panel;

// The version text handed to the last ShowAboutBox, shown by the box.
extern QString AboutVersion;

// Shows a fresh about box modally and destroys it when it closes.
bool ShowAboutBox(const QString& version);

// The sound the box makes when it opens. Tests replace it to count the
// beeps; an empty function restores QApplication::beep().
void setAboutBeep(std::function<void()> beep);

// The box of a centred label: its given left edge, mirrored about the middle
// of its parent, widened symmetrically when the text needs more room but
// never past the parent's inner edges (inset from each side).
QRect centredLabelBox(int left, int top, int height, int textWidth, int parentWidth, int inset);

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

    Panel* Panel1;
    QLabel* ProgramIcon;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QTimer* Timer1;

    void FormActivate();
    void Timer1Timer();

protected:
    // Activation is taken at the showing, so the beep and the timer run once
    // per opening, not at every focus change.
    void showEvent(QShowEvent* event) override;

private:
    void placeLabel(QLabel* label, int left, int top);
    void recentreLabel(QLabel* label);
};

} // namespace kavoda
