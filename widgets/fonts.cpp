#include "widgets/fonts.h"

#include <QApplication>
#include <QFont>

void UseStationFonts() {
    // Arial's metric twin, then the faces a Debian desktop has anyway.
    const QStringList arialWidths = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")};
    QFont::insertSubstitutions(QStringLiteral("Arial"), arialWidths);
    // The Windows dialog face is a bitmap font of Arial's proportions.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), arialWidths);
    // The section labels' face: a Palatino clone where one is installed, else a serif of
    // narrower widths, so the labels never grow past the frame they were drawn in.
    QFont::insertSubstitutions(QStringLiteral("Palatino Linotype"),
                               {QStringLiteral("P052"), QStringLiteral("TeX Gyre Pagella"),
                                QStringLiteral("Liberation Serif")});

    QFont windows(QStringLiteral("MS Sans Serif"));
    windows.setPixelSize(11);
    windows.setStyleHint(QFont::SansSerif);
    QApplication::setFont(windows);
}
