#include "console/uFaderLook.h"

namespace FaderLooks {

// The colours of every group and role, which a style may use in any state.
void AddPalette(QByteArray& key, const QPalette& p)
{
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const QBrush& b = p.brush(static_cast<QPalette::ColorGroup>(g), static_cast<QPalette::ColorRole>(r));
            const QRgba64 c = b.color().rgba64();
            key.append(reinterpret_cast<const char*>(&c), sizeof c);
            key.append(static_cast<char>(b.style()));
        }
    key.append(static_cast<char>(p.currentColorGroup()));
}

// Events after which a widget may look different: its state, palette, style,
// font, size, screen or window activation.
bool MayChangeLook(QEvent::Type type)
{
    switch (type) {
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::ActivationChange:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::LayoutDirectionChange:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::ScreenChangeInternal: return true;
    default: return false;
    }
}

} // namespace FaderLooks
