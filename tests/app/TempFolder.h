// SPDX-License-Identifier: MIT
// A fresh folder of its own for a test, made by mkdtemp under $TMPDIR (or
// /tmp) and removed with everything in it at the end.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QString>
#include <stdlib.h>

namespace kavoda {

class TempFolder {
public:
    TempFolder()
    {
        QByteArray base = qgetenv("TMPDIR");
        if (base.isEmpty())
            base = "/tmp";
        QByteArray pattern = base + "/kavoda-test-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = QString::fromLocal8Bit(pattern);
    }
    ~TempFolder()
    {
        if (m_path.isEmpty())
            return;
        // A test may have taken permissions away; give them back so that
        // everything can go.
        restorePermissions(m_path);
        QDir(m_path).removeRecursively();
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    const QString& path() const { return m_path; }
    QString filePath(const QString& name) const { return QDir(m_path).filePath(name); }

private:
    static void restorePermissions(const QString& folder)
    {
        const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QFile::setPermissions(folder, all);
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QFileInfo& entry : entries) {
            if (entry.isSymLink())
                continue;
            if (entry.isDir())
                restorePermissions(entry.filePath());
            else
                QFile::setPermissions(entry.filePath(), all);
        }
    }

    QString m_path;
};

} // namespace kavoda
