// SPDX-License-Identifier: MIT
// A fixture for the window's device operations: it collects the operations'
// own message boxes and ends the window before the settings folder goes.
#pragma once

#include "Main.h"
#include "MainOperations.h"
#include "SettingsFolder.h"

#include <QFile>
#include <QStringList>

#include <cstdint>
#include <ostream>
#include <memory>
#include <vector>

QT_BEGIN_NAMESPACE
// Failures show the texts, not their bytes.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kavoda {

class OperationWindowTest : public SettingsFolderTest {
protected:
    void SetUp() override
    {
        SettingsFolderTest::SetUp();
        setOperationBoxSink([this](const QString& caption, const QString& text) {
            m_boxes << caption + QLatin1Char('|') + text;
        });
        // Questions are answered with m_answer (Yes unless a test says No).
        setOperationQuestionSink([this](const QString& caption, const QString& text) {
            m_questions << caption + QLatin1Char('|') + text;
            return m_answer;
        });
    }
    void TearDown() override
    {
        m_form.reset();
        setOperationBoxSink({});
        setOperationQuestionSink({});
        SettingsFolderTest::TearDown();
    }

    // The bytes of a file in the test's folder; none when it cannot be read.
    std::vector<std::uint8_t> file(const QString& name) const
    {
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = f.readAll();
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }

    std::unique_ptr<TMainForm> m_form;
    QStringList m_boxes;
    QStringList m_questions;
    bool m_answer = true;
};

} // namespace kavoda
