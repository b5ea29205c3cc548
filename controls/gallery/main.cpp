// SPDX-License-Identifier: MIT
// kavoda-gallery OUTDIR: pictures of every control, for looking at them.
#include "Gallery.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kavoda-gallery OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "kavoda-gallery: cannot create %s\n", argv[1]);
        return 1;
    }
    kavoda::gallery::renderEntryGallery(out);
    kavoda::gallery::renderLedGallery(out);
    kavoda::gallery::renderMeterGallery(out);
    kavoda::gallery::renderScrollTextGallery(out);
    return 0;
}
