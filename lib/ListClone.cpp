// The pointer list: slots, growth, sorting and the set operations.
#include "ListClone.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "Errors.h"

namespace {
const char16_t* MessageText(TListMessage Msg) {
  switch (Msg) {
    case TListMessage::IndexError: return u"リストのインデックスが範囲を超えています (%d)";
    case TListMessage::CapacityError: return u"リストの容量が超えました (%d)";
    case TListMessage::CountError: return u"リストの個数を超えました (%d)";
  }
  return u"";
}

// The source name and line are part of the message users see, fixed texts
// rather than this file's name and a line in it: keep them as they are.
[[noreturn]] void RaiseListError() { AssertFail(u"Listエラー", u"ListClone\\ListClone", 127); }
}  // namespace

TListClone::~TListClone() {
  // The destructor clears through the virtual slot of this class; subclasses
  // clear their own cells in their destructors first.
  TListClone::Clear();
}

void TListClone::Error(const std::u16string&, int32_t) { RaiseListError(); }

void TListClone::Error(TListMessage Msg, int32_t) {
  // The loaded text is not part of the raised error: the string form ignores it.
  (void)MessageText(Msg);
  RaiseListError();
}

void TListClone::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= FCount) Error(TListMessage::IndexError, Index);
}

int32_t TListClone::Add(void* Item) {
  int32_t result = FCount;
  if (result == FCapacity) Grow();
  FList[result] = Item;
  ++FCount;
  if (Item) Notify(Item, naAdded);
  return result;
}

void TListClone::Insert(int32_t Index, void* Item) {
  if (Index < 0 || Index > FCount) Error(TListMessage::IndexError, Index);
  if (FCount == FCapacity) Grow();
  std::copy_backward(FList.get() + Index, FList.get() + FCount, FList.get() + FCount + 1);
  FList[Index] = Item;
  ++FCount;
  if (Item) Notify(Item, naAdded);
}

void TListClone::Delete(int32_t Index) {
  CheckIndex(Index);
  void* temp = FList[Index];
  --FCount;
  std::copy(FList.get() + Index + 1, FList.get() + FCount + 1, FList.get() + Index);
  if (temp) Notify(temp, naDeleted);
}

void TListClone::Exchange(int32_t Index1, int32_t Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FList[Index1], FList[Index2]);
}

void TListClone::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  CheckIndex(NewIndex);
  void* item = Items(CurIndex);
  FList[CurIndex] = nullptr;
  Delete(CurIndex);
  Insert(NewIndex, nullptr);
  FList[NewIndex] = item;
}

TListClone* TListClone::Expand() {
  if (FCount == FCapacity) Grow();
  return this;
}

void* TListClone::First() const { return Items(0); }
void* TListClone::Last() const { return Items(FCount - 1); }

void* TListClone::Items(int32_t Index) const {
  CheckIndex(Index);
  return FList[Index];
}

int32_t TListClone::IndexOf(void* Item) const {
  for (int32_t i = 0; i < FCount; ++i)
    if (FList[i] == Item) return i;
  return -1;
}

int32_t TListClone::Remove(void* Item) {
  int32_t result = IndexOf(Item);
  if (result >= 0) Delete(result);
  return result;
}

void* TListClone::Extract(void* Item) {
  int32_t i = IndexOf(Item);
  if (i < 0) return nullptr;
  FList[i] = nullptr;
  Delete(i);
  Notify(Item, naExtracted);
  return Item;
}

void TListClone::Pack() {
  for (int32_t i = FCount - 1; i >= 0; --i)
    if (FList[i] == nullptr) Delete(i);
}

void TListClone::QuickSort(int32_t L, int32_t R, TListCloneSortCompare Compare) {
  int32_t I = L;
  do {
    I = L;
    int32_t J = R;
    void* P = FList[L + (R - L) / 2];
    do {
      // Scans are bounded by the range so that an inconsistent comparison
      // cannot run off the array.
      while (I < R && Compare(FList[I], P) < 0) ++I;
      while (J > L && Compare(FList[J], P) > 0) --J;
      if (I <= J) {
        std::swap(FList[I], FList[J]);
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) QuickSort(L, J, Compare);
    L = I;
  } while (I < R);
}

void TListClone::Sort(TListCloneSortCompare Compare) {
  if (FList && FCount > 0) QuickSort(0, FCount - 1, Compare);
}

void TListClone::Assign(TListClone* ListA, TListCloneAssignOp AOperator, TListClone* ListB) {
  if (ListB) Assign(ListA, laCopy, nullptr);
  TListClone* const source = ListB ? ListB : ListA;
  switch (AOperator) {
    case laCopy:
      Clear();
      SetCapacity(source->FCapacity);
      for (int32_t i = 0; i < source->FCount; ++i) Add(source->FList[i]);
      break;
    case laAnd:
      for (int32_t i = FCount - 1; i >= 0; --i)
        if (source->IndexOf(FList[i]) == -1) Delete(i);
      break;
    case laOr:
      for (int32_t i = 0; i < source->FCount; ++i)
        if (IndexOf(source->FList[i]) == -1) Add(source->FList[i]);
      break;
    case laXor: {
      auto temp = std::make_unique<TListClone>();
      temp->SetCapacity(source->FCount);
      for (int32_t i = 0; i < source->FCount; ++i)
        if (IndexOf(source->FList[i]) == -1) temp->Add(source->FList[i]);
      for (int32_t i = FCount - 1; i >= 0; --i)
        if (source->IndexOf(FList[i]) != -1) Delete(i);
      int32_t total = FCount + temp->FCount;
      if (total > FCapacity) SetCapacity(total);
      for (int32_t i = 0; i < temp->FCount; ++i) Add(temp->FList[i]);
      break;
    }
    case laSrcUnique:
      for (int32_t i = FCount - 1; i >= 0; --i)
        if (source->IndexOf(FList[i]) != -1) Delete(i);
      break;
    case laDestUnique: {
      auto temp = std::make_unique<TListClone>();
      temp->SetCapacity(source->FCount);
      for (int32_t i = source->FCount - 1; i >= 0; --i)
        if (IndexOf(source->FList[i]) == -1) temp->Add(source->FList[i]);
      Assign(temp.get(), laCopy, nullptr);
      break;
    }
  }
}

void TListClone::SetCapacity(int32_t NewCapacity) {
  if (NewCapacity < FCount || NewCapacity > MaxListSize) Error(TListMessage::CapacityError, NewCapacity);
  if (NewCapacity == FCapacity) return;
  std::unique_ptr<void*[]> slots;  // none for a capacity of 0
  if (NewCapacity > 0) {
    slots = std::make_unique_for_overwrite<void*[]>(static_cast<size_t>(NewCapacity));
    std::copy_n(FList.get(), FCount, slots.get());
  }
  FList = std::move(slots);
  FCapacity = NewCapacity;
}

void TListClone::SetCount(int32_t NewCount) {
  if (NewCount < 0 || NewCount > MaxListSize) Error(TListMessage::CountError, NewCount);
  if (NewCount > FCapacity) SetCapacity(NewCount);
  if (NewCount > FCount) {
    std::fill_n(FList.get() + FCount, NewCount - FCount, nullptr);
  } else {
    for (int32_t i = FCount - 1; i >= NewCount; --i) Delete(i);
  }
  FCount = NewCount;
}

void TListClone::Clear() {
  SetCount(0);
  SetCapacity(0);
}

void TListClone::Grow() {
  const int32_t delta = FCapacity > 64 ? FCapacity / 4 : FCapacity > 8 ? 16 : 4;
  SetCapacity(FCapacity + delta);
}

void TListClone::Notify(void*, TListCloneNotifyAction) {}
