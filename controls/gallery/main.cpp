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
#ifdef KAVODA_GALLERY_ENTRY
    kavoda::gallery::renderEntryGallery(out);
#endif
#ifdef KAVODA_GALLERY_LED
    kavoda::gallery::renderLedGallery(out);
#endif
#ifdef KAVODA_GALLERY_METER
    kavoda::gallery::renderMeterGallery(out);
#endif
#ifdef KAVODA_GALLERY_SCROLLTEXT
    kavoda::gallery::renderScrollTextGallery(out);
#endif
    return 0;
}
