#include "formats/picture_formats.h"

#include <algorithm>
#include <array>

namespace {

std::vector<PictureFormatEntry>& registry() {
    static std::vector<PictureFormatEntry> entries;
    return entries;
}

std::array<GraphicFactory, kGraphicKindCount>& factories() {
    static std::array<GraphicFactory, kGraphicKindCount> table;
    return table;
}

}  // namespace

const std::vector<PictureFormatEntry>& PictureFormatRegistry() { return registry(); }

void RegisterPictureFormat(const QString& extension, const QString& description, GraphicKind kind) {
    registry().push_back({extension.toLower(), description, kind});
}

void UnregisterPictureFormats(GraphicKind kind) {
    auto& entries = registry();
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [kind](const PictureFormatEntry& e) { return e.kind == kind; }),
                  entries.end());
}

const PictureFormatEntry* FindPictureFormat(const QString& extension) {
    const QString wanted = extension.toLower();
    const auto& entries = registry();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->extension == wanted) return &*it;
    }
    return nullptr;
}

void SetGraphicFactory(GraphicKind kind, GraphicFactory factory) {
    factories()[size_t(kind)] = std::move(factory);
}

std::unique_ptr<Graphic> MakeGraphic(GraphicKind kind) {
    const GraphicFactory& f = factories()[size_t(kind)];
    return f ? f() : nullptr;
}

void ResetPictureFormats() {
    registry().clear();
    for (auto& f : factories()) f = nullptr;
}
