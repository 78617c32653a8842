// The pieces of a text worked on by a few threads where cores are free: a
// reader takes them from their source, workers check and edit them, and the
// calling thread gets them back in input order as soon as each is done.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "PieceWork.h"
#include "Pieces.h"

using TPieceWriter = std::function<void(TPiece& Piece, TPieceResult& Result)>;

// Every piece of Source through Work and then Write, in order, with Workers
// threads beside a reader. Rethrows what a thread threw, after the pieces
// before it are written. The reader keeps Source alive: it may be left
// blocked in a read when Write throws, where Source->MayWaitLong().
void RunCrew(std::shared_ptr<TPieceSource> Source, const TPieceWork& Work, const TPieceWriter& Write, size_t Workers);
