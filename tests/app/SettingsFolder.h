// SPDX-License-Identifier: MIT
// A test fixture that points the settings file into a fresh temporary
// folder, so no test ever reads or writes the user's own Kavoda.INI, and
// collects the error reports instead of showing them.
#pragma once

#include "DeviceCatalogue.h"
#include "ErrorReport.h"
#include "IniFile.h"
#include "Settings.h"
#include "QtTempFolder.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

namespace kavoda {

class SettingsFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        setSettingsFolder(m_dir.path());
        setErrorReportSink([this](const QString& text) { m_reports << text; });
        resetDeviceState();
        PortSetting.clear();
        ProgramVersion.clear();
    }
    void TearDown() override
    {
        setErrorReportSink({});
        setSettingsFolder(QString());
    }

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("Kavoda.INI")); }
    void writeSettings(const QByteArray& bytes)
    {
        QFile f(settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readSettings() const
    {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QtTempFolder m_dir;
    QStringList m_reports;
};

} // namespace kavoda
