#pragma once

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/icon.h>
#include <wx/image.h>

#include "uploader/widgets/mask_region.h"

// The window's skin, drawn in code: no picture files to ship or to lose.
namespace quenvara::widgets::skin {

inline const wxColour kMagenta(255, 0, 255);

// Six square check glyphs side by side (normal unchecked, normal checked,
// pressed unchecked, pressed checked, disabled unchecked, disabled checked),
// magenta where the background shows through.
wxBitmap checkGlyphStrip(int glyph);

enum class ButtonGlyph { Start, Stop, Close, Minimize, Maximize, Restore, Hide, Delete, Dot, Wait };
enum class ButtonFace { Normal, Hover, Pressed, Disabled };

// A push button's face for a state; white outside its rounded shape.
wxBitmap buttonFace(ButtonGlyph glyph, ButtonFace face, wxSize size);
// Its mask: black inside the rounded shape, white outside.
wxBitmap buttonMask(wxSize size, int radius);

// The corner popup's skin (bitmap 172).
wxBitmap notifierSkin();
// The tray icon's nine frames: 0 still, 1..8 the animation.
wxIcon trayFrame(int frame);
// The busy dialog's background (bitmap 130) and its nine animation frames.
wxBitmap folderWaitBackground();
wxBitmap folderWaitFrame(int frame);

// A picture's pixels as the region rules read them.
RgbImage toRgbImage(const wxImage& image);

}  // namespace quenvara::widgets::skin
