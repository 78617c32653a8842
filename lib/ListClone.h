// A growable array of untyped item pointers with index checks, notifications,
// sorting and set-like assignment. It never owns what its items point to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

enum TListCloneNotifyAction : uint8_t { naAdded = 0, naExtracted = 1, naDeleted = 2 };
enum TListCloneAssignOp : uint8_t { laCopy = 0, laAnd = 1, laOr = 2, laXor = 3, laSrcUnique = 4, laDestUnique = 5 };

using TListCloneSortCompare = int (*)(void* Item1, void* Item2);
using PPointerList = void**;

constexpr int32_t MaxListSize = 134217727;  // 2^27 - 1

// Texts of the list checks (they are replaced by the list error when raised).
enum class TListMessage { IndexError = 65430, CapacityError = 65428, CountError = 65429 };

class TListClone {
public:
  TListClone() = default;
  TListClone(const TListClone&) = delete;
  TListClone& operator=(const TListClone&) = delete;
  virtual ~TListClone();

  int32_t Add(void* Item);
  void Insert(int32_t Index, void* Item);
  void Delete(int32_t Index);
  void Exchange(int32_t Index1, int32_t Index2);
  void Move(int32_t CurIndex, int32_t NewIndex);
  TListClone* Expand();
  void* First() const;
  void* Last() const;
  void* Items(int32_t Index) const;
  int32_t IndexOf(void* Item) const;
  int32_t Remove(void* Item);
  void* Extract(void* Item);
  void Pack();
  void Sort(TListCloneSortCompare Compare);
  void Assign(TListClone* ListA, TListCloneAssignOp AOperator = laCopy, TListClone* ListB = nullptr);

  int32_t Capacity() const { return FCapacity; }
  void SetCapacity(int32_t NewCapacity);
  int32_t Count() const { return FCount; }
  void SetCount(int32_t NewCount);
  PPointerList List() const { return FList.get(); }

  virtual void Clear();
  // String form: raises the list error (an assertion failure "Listエラー").
  [[noreturn]] virtual void Error(const std::u16string& Msg, int32_t Data);
  // Message-reference form used by the built-in checks.
  [[noreturn]] static void Error(TListMessage Msg, int32_t Data);

protected:
  virtual void Grow();
  virtual void Notify(void* Ptr, TListCloneNotifyAction Action);

private:
  void QuickSort(int32_t L, int32_t R, TListCloneSortCompare Compare);
  void CheckIndex(int32_t Index) const;

  std::unique_ptr<void*[]> FList;  // FCapacity slots; none while FCapacity is 0
  int32_t FCount = 0;
  int32_t FCapacity = 0;
};
