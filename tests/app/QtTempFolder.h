// SPDX-License-Identifier: MIT
// The shared fresh test folder, seen through Qt's strings.
#pragma once

#include "TempFolder.h"

#include <QString>

namespace kavoda {

class QtTempFolder {
public:
    bool isValid() const { return !m_folder.path().empty(); }
    QString path() const { return QString::fromStdString(m_folder.path().string()); }
    QString filePath(const QString& name) const
    {
        return QString::fromStdString(m_folder.file(name.toStdString()).string());
    }

private:
    test::TempFolder m_folder;
};

} // namespace kavoda
