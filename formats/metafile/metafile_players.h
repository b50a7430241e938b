#pragma once
// The EMF and WMF players: each walks the records the gate let through and replays them on the
// shared device-context model.

#include "formats/metafile/metafile_canvas.h"
#include "formats/metafile/metafile_gate.h"

#include <QByteArray>

// Playback stops when the whole replay has run this long (a record is never interrupted, but
// the canvas refuses the coordinates that would make one record slow).
inline constexpr int kMetafilePlaybackBudgetMs = 20000;

void PlayEmfRecords(const QByteArray& bytes, const GatedMetafile& metafile, MetafileCanvas& canvas);
void PlayWmfRecords(const QByteArray& bytes, const GatedMetafile& metafile, MetafileCanvas& canvas);
