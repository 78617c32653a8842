// A ring of pieces shared by a reader, some workers and the writer.
#include "PieceCrew.h"

#include <cassert>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct TSlot {
  TPiece Piece;
  TPieceResult Result;
  bool Done = false;
  std::exception_ptr Raised;
};

// Everything the threads share; the reader keeps it alive.
struct TShared {
  std::mutex Lock;
  // Each thread waits on its own kind of news, so that a piece handed over
  // wakes a worker, a piece done the writer, a place freed the reader.
  std::condition_variable PieceFilled, PieceDone, PlaceFreed;
  std::vector<TSlot> Ring;
  uint64_t Filled = 0;   // pieces handed over by the reader
  uint64_t Taken = 0;    // pieces taken by the workers
  uint64_t Written = 0;  // pieces written; their places are free again
  bool ReadingEnded = false;
  bool Stop = false;
  std::exception_ptr ReaderRaised;
  std::shared_ptr<TPieceSource> Source;

  TSlot& At(uint64_t seq) { return Ring[seq % Ring.size()]; }
};

// Places in the ring: two for each worker, so that one waits for each while
// it works, and two more for the piece being read and the one being written.
constexpr size_t RingPlaces(size_t workers) { return 2 * workers + 2; }

void Read(const std::shared_ptr<TShared>& s) {
  try {
    for (uint64_t seq = 0;; ++seq) {
      std::unique_lock<std::mutex> held(s->Lock);
      s->PlaceFreed.wait(held, [&] { return s->Stop || seq - s->Written < s->Ring.size(); });
      if (s->Stop) break;
      // The place is free: the piece it held before has been written.
      assert(seq - s->Written < s->Ring.size());
      TSlot& slot = s->At(seq);
      held.unlock();
      // The place is the reader's until it is handed over.
      if (!s->Source->Next(slot.Piece)) break;
      held.lock();
      slot.Done = false;
      ++s->Filled;
      s->PieceFilled.notify_one();
    }
  } catch (...) {
    std::lock_guard<std::mutex> held(s->Lock);
    s->ReaderRaised = std::current_exception();
  }
  std::lock_guard<std::mutex> held(s->Lock);
  s->ReadingEnded = true;
  s->PieceFilled.notify_all();
  s->PieceDone.notify_all();
}

void WorkOn(TShared& s, const TPieceWork& work) {
  std::unique_lock<std::mutex> held(s.Lock);
  for (;;) {
    s.PieceFilled.wait(held, [&] { return s.Stop || s.Taken < s.Filled || s.ReadingEnded; });
    if (s.Stop || s.Taken == s.Filled) return;
    TSlot& slot = s.At(s.Taken++);
    // Handed over and not yet done: this worker's alone until it says so.
    assert(!slot.Done && s.Taken <= s.Filled);
    held.unlock();
    try {
      WorkOnPiece(work, slot.Piece, slot.Result);
    } catch (...) {
      slot.Raised = std::current_exception();
    }
    held.lock();
    slot.Done = true;
    if (&slot == &s.At(s.Written)) s.PieceDone.notify_one();
  }
}

// Stops the threads on every way out: the workers are joined, and so is the
// reader, which ends at once unless it waits in a read. Only a pipe or a
// terminal can keep it waiting there, for as long as its writer likes: the
// reader is then left behind. That is safe because a crew ends early only on
// an error, which ends the program: the reader holds the shared state and its
// source, and touches nothing else but their descriptor, which nothing opens
// again before the end.
class TCrew {
public:
  TCrew(std::shared_ptr<TShared> s, bool readerMayWaitLong)
      : FShared(std::move(s)), FReaderMayWaitLong(readerMayWaitLong) {}
  ~TCrew() {
    bool readerEnded = false;
    {
      std::lock_guard<std::mutex> held(FShared->Lock);
      FShared->Stop = true;
      FShared->PieceFilled.notify_all();
      FShared->PlaceFreed.notify_all();
    }
    for (auto& w : Workers) w.join();
    {
      std::lock_guard<std::mutex> held(FShared->Lock);
      readerEnded = FShared->ReadingEnded;
    }
    if (Reader.joinable()) {
      if (readerEnded || !FReaderMayWaitLong) Reader.join();
      else Reader.detach();
    }
  }
  std::vector<std::thread> Workers;
  std::thread Reader;

private:
  std::shared_ptr<TShared> FShared;
  bool FReaderMayWaitLong = false;
};

}  // namespace

void RunCrew(std::shared_ptr<TPieceSource> Source, const TPieceWork& Work, const TPieceWriter& Write, size_t Workers) {
  auto s = std::make_shared<TShared>();
  s->Ring.resize(RingPlaces(Workers));
  const bool mayWaitLong = Source->MayWaitLong();
  s->Source = std::move(Source);
  TCrew crew(s, mayWaitLong);
  for (size_t w = 0; w < Workers; ++w) crew.Workers.emplace_back([&s = *s, &Work] { WorkOn(s, Work); });
  crew.Reader = std::thread(Read, s);
  for (;;) {
    std::unique_lock<std::mutex> held(s->Lock);
    s->PieceDone.wait(held, [&] {
      return (s->Written < s->Filled && s->At(s->Written).Done) || (s->ReadingEnded && s->Written == s->Filled);
    });
    if (s->Written == s->Filled) break;
    TSlot& slot = s->At(s->Written);
    // Done: no worker touches it again until the reader fills it anew.
    assert(slot.Done);
    held.unlock();
    if (slot.Raised) std::rethrow_exception(slot.Raised);
    Write(slot.Piece, slot.Result);
    held.lock();
    ++s->Written;
    s->PlaceFreed.notify_one();
  }
  std::lock_guard<std::mutex> held(s->Lock);
  if (s->ReaderRaised) std::rethrow_exception(s->ReaderRaised);
}
