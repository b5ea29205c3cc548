// SPDX-License-Identifier: MIT
// Reading the [Adapter] section.
#include "AdapterSettings.h"

#include "IniFile.h"
#include "Settings.h"

namespace kavoda {

std::optional<AdapterChoice> loadAdapterSetting()
{
    const IniFile ini(kSettingsFileName);
    const QString text = ini.readString(kAdapterSection, kAdapterKey, QString());
    if (text.isEmpty())
        return std::nullopt;
    AdapterChoice choice = parseAdapter(text.toStdString()).value_or(AdapterChoice{});
    const std::int32_t khz =
        ini.readInteger(kAdapterSection, kAdapterSpeedKey, kDefaultI2cSpeedKhz);
    choice.speed = i2cSpeedFromKhz(khz).value_or(kDefaultI2cSpeed);
    return choice;
}

QString adapterMarker(const AdapterChoice& adapter)
{
    const std::string caption = adapterCaption(adapter);
    if (caption.empty())
        return {};
    return QStringLiteral(" [%1]").arg(QString::fromStdString(caption));
}

} // namespace kavoda
