#pragma once
// Looks drawn once, for the fader parts that paint from pictures (the track bar
// and the level field): a look is shared by every widget that looks the same,
// found by a key of what the drawing depends on. Kept until there are too many.

#include <QByteArray>
#include <QEvent>
#include <QHash>
#include <QPalette>

#include <functional>
#include <memory>

namespace FaderLooks {

constexpr int MaxLooks = 64;

// The colours of every group and role, which a style may use in any state.
void AddPalette(QByteArray& key, const QPalette& p);

// Events after which a widget may look different: its state, palette, style,
// font, size, screen or window activation.
bool MayChangeLook(QEvent::Type type);

template <typename T>
void AddValue(QByteArray& key, const T& v)
{
    key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

template <typename T>
std::shared_ptr<T> SharedLook(QHash<QByteArray, std::shared_ptr<T>>& looks, const QByteArray& key,
                              const std::function<std::shared_ptr<T>()>& make)
{
    auto it = looks.constFind(key);
    if (it != looks.constEnd())
        return *it;
    if (looks.size() >= MaxLooks)
        looks.clear();   // the widgets keep the looks they use
    auto look = make();
    looks.insert(key, look);
    return look;
}

} // namespace FaderLooks
