// SPDX-License-Identifier: MIT
// Reading the [Adapter] section.
#include "AdapterSettings.h"

#include "Ch341a.h"
#include "HardwarePort.h"
#include "IniFile.h"
#include "StoredSettings.h"
#include "Settings.h"

namespace kavoda {

std::optional<AdapterChoice> loadAdapterSetting()
{
    return readStoredSettings(settingsFilePath()).adapter;
}

std::optional<AdapterChoice> adapterForWindow(const PortOptions& options)
{
    if (options.adapter)
        return std::nullopt;  // the command line's wins anyway
    if (auto stored = loadAdapterSetting())
        return stored;
    // A simulated chip has nothing to do with what is plugged in, and a
    // trace records the parallel port's lines.
    if (options.simulateType || !options.tracePath.empty())
        return std::nullopt;
    for (const PortChoice& port : kPortChoices) {
        if (findParport(port.base))
            return std::nullopt;
    }
    if (!ch341aPlugged())
        return std::nullopt;
    AdapterChoice usb;
    usb.kind = AdapterKind::Ch341a;
    return usb;
}

QString adapterMarker(const AdapterChoice& adapter)
{
    const std::string caption = adapterCaption(adapter);
    if (caption.empty())
        return {};
    return QStringLiteral(" [%1]").arg(QString::fromStdString(caption));
}

} // namespace kavoda
