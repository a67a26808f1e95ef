#pragma once
// The program's pictures: toolbar and replay-bar glyphs, the maker's logos, the program icon and
// the data convention diagram. They are SVG in the resource tree under ":/marvane" and are
// rendered here at the size each window shows them, so they stay sharp on any screen.

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

// Toolbar and replay-bar buttons are 30 x 30; their glyphs are drawn on that grid and shown at
// kGlyphIconSize, the size drawn at build time (resources/CMakeLists.txt, with its double).
inline constexpr int kGlyphSize = 30;
inline constexpr int kGlyphIconSize = 26;

// Resource path of a picture. Accepts a bare name ("logo-main", "data-convention.svg"),
// a name under the resource prefix ("glyphs/file-new") or a full resource path (":/...").
// ".svg" is added when the name has no suffix.
QString artworkPath(const QString& name);

// A toolbar or replay-bar glyph by name ("file-new", "log-start", "video-play", ...; the forms
// artworkPath accepts also work, a bare name is looked up under "glyphs/"). Offered at 30 x 30 and
// 60 x 60 and drawn at whatever size is asked, with a greyed Disabled mode so a disabled button
// reads as unavailable at a glance.
// A null icon if the glyph does not exist.
QIcon glyphIcon(const QString& name);

// A picture rendered to fill size (logical pixels; rendered at the screen's device pixel ratio).
// A null pixmap if the picture does not exist or size is empty. A picture drawn at build time at
// exactly that many pixels (renderedArtworkPath) is taken as it is.
QPixmap artworkPixmap(const QString& name, QSize size);

// The PNG drawn at build time from a picture (a name artworkPath accepts) at pixelSize device
// pixels, under ":/marvane/rendered"; empty when there is none. The glyphs, the logo and the
// program icon are drawn there at the sizes the program shows them on normal and double-density
// screens, so that a start decodes a few small PNGs instead of loading Qt SVG and drawing SVG.
QString renderedArtworkPath(const QString& name, QSize pixelSize);

// The program icon ("icon.svg") at 16, 24, 32, 48, 64, 128 and 256 pixels.
QIcon programIcon();

// The disabled look of a glyph: desaturated and lightened, transparency kept.
QPixmap disabledGlyph(const QPixmap& normal);
