#pragma once
// The picture-format registry: which graphic kind reads a file extension, searched from the
// last registration to the first so a later registration hides an earlier one.

#include "formats/graphic.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

struct PictureFormatEntry {
    QString extension;  // without the dot, lower case
    QString description;
    GraphicKind kind;
};

using GraphicFactory = std::function<std::unique_ptr<Graphic>()>;

// The registry as it stands, in registration order.
const std::vector<PictureFormatEntry>& PictureFormatRegistry();
void RegisterPictureFormat(const QString& extension, const QString& description, GraphicKind kind);
// Removes every entry of a kind (a module's shutdown).
void UnregisterPictureFormats(GraphicKind kind);
// The entry that reads an extension (without the dot, any case), or nullptr.
const PictureFormatEntry* FindPictureFormat(const QString& extension);

// Each graphic kind's module supplies how to make a new graphic of its kind.
void SetGraphicFactory(GraphicKind kind, GraphicFactory factory);
// A new graphic of the kind, or nullptr when no module supplied one.
std::unique_ptr<Graphic> MakeGraphic(GraphicKind kind);

// Empties the registry and the factories (tests start from a known state).
void ResetPictureFormats();
