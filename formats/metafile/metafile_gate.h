#pragma once
// The gate every EMF and WMF file passes before a record is played: libUEMF checks each record's
// size and structure, and we add the checks it misses. What passes is kept as a list of record
// spans over the file's bytes, so the players never look outside a record that was checked.

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <vector>

enum class MetafileFormat { Emf, Wmf };

struct MetafileRecord {
    uint32_t type = 0;    // EMF record type, or the WMF function number
    uint32_t offset = 0;  // from the start of the file
    uint32_t size = 0;    // bytes, whole record
};

struct GatedMetafile {
    MetafileFormat format = MetafileFormat::Emf;
    std::vector<MetafileRecord> records;  // after the header, up to (not including) EOF
    bool damaged = false;  // a record failed the gate: it was dropped, or playback ends before it

    // EMF header.
    QRect boundsDevice;          // inclusive device pixels
    QRect frame;                 // 0.01 mm, as stored (left, top, right, bottom)
    QSize referencePixels;       // szlDevice
    QSize referenceMillimetres;  // szlMillimeters
    uint32_t handleCount = 0;

    // WMF header.
    bool placeable = false;
    QRect placeableBox;  // logical units, normalised
    int unitsPerInch = 1440;
    QRect windowFromRecords;  // first SETWINDOWORG/EXT pair found (non-placeable files)
    bool hasWindowFromRecords = false;
};

// Throws PixError("Metafile is not valid") when the bytes are neither an EMF nor a WMF whose
// header passes the gate.
GatedMetafile GateMetafile(const QByteArray& bytes);

// The size in pixels at which a metafile is drawn when nothing scales it, at the given logical
// resolution; clamped to kMaxMetafileSide per side.
QSize MetafileNaturalSize(const GatedMetafile& metafile, double dpi);

inline constexpr int kMaxMetafileSide = 32767;
