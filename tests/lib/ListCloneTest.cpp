// The pointer list: growth, moves, notifications and set operations.
#include "ListClone.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "Errors.h"

namespace {
char cells[8];
void* const a = &cells[0];
void* const b = &cells[1];
void* const d = &cells[2];
void* const e = &cells[3];

// Records notifications.
class RecordingList : public TListClone {
public:
  std::vector<std::pair<void*, TListCloneNotifyAction>> events;

protected:
  void Notify(void* Ptr, TListCloneNotifyAction Action) override { events.emplace_back(Ptr, Action); }
};

std::vector<void*> ItemsOf(const TListClone& l) {
  std::vector<void*> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Items(i));
  return v;
}

void Fill(TListClone& l, std::initializer_list<void*> items) {
  for (void* p : items) l.Add(p);
}

std::u16string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EMarquillError& e) {
    return e.Message();
  }
  return u"(none)";
}

const std::u16string kListError = u"Listエラー (ListClone\\ListClone, 127 行)";
}  // namespace

TEST(ListClone, GrowthSequence) {
  TListClone l;
  std::vector<int> caps;
  for (int i = 0; i < 100; ++i) {
    int before = l.Capacity();
    l.Add(nullptr);
    if (l.Capacity() != before) caps.push_back(l.Capacity());
  }
  EXPECT_EQ(caps, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
}

TEST(ListClone, IndexChecksRaiseListErrorAndChangeNothing) {
  TListClone l;
  Fill(l, {a, b});
  EXPECT_EQ(ErrorOf([&] { l.Insert(3, d); }), kListError);
  EXPECT_EQ(ItemsOf(l), (std::vector<void*>{a, b}));
  l.Insert(2, d);
  EXPECT_EQ(ItemsOf(l), (std::vector<void*>{a, b, d}));
  EXPECT_EQ(ErrorOf([&] { l.Delete(3); }), kListError);
  EXPECT_EQ(ErrorOf([&] { l.Items(-1); }), kListError);
  EXPECT_EQ(ErrorOf([&] { l.Exchange(0, 5); }), kListError);
  TListClone empty;
  EXPECT_EQ(ErrorOf([&] { empty.First(); }), kListError);
  EXPECT_EQ(ErrorOf([&] { empty.Last(); }), kListError);
  EXPECT_EQ(ErrorOf([&] { l.SetCapacity(l.Count() - 1); }), kListError);
  l.SetCapacity(l.Count());
  EXPECT_EQ(l.Capacity(), 3);
  EXPECT_EQ(ErrorOf([&] { l.SetCount(-1); }), kListError);
  EXPECT_EQ(ItemsOf(l), (std::vector<void*>{a, b, d}));
}

TEST(ListClone, MoveExtractPackAndCount) {
  RecordingList l;
  l.Move(5, 5);  // nothing at all on an empty list
  Fill(l, {a, b, d});
  l.events.clear();
  l.Move(0, 2);
  EXPECT_EQ(ItemsOf(l), (std::vector<void*>{b, d, a}));
  EXPECT_TRUE(l.events.empty());

  EXPECT_EQ(l.Extract(e), nullptr);
  EXPECT_TRUE(l.events.empty());

  RecordingList n;
  Fill(n, {a, nullptr, b});
  n.events.clear();
  EXPECT_EQ(n.Extract(nullptr), nullptr);
  EXPECT_EQ(ItemsOf(n), (std::vector<void*>{a, b}));
  ASSERT_EQ(n.events.size(), 1u);
  EXPECT_EQ(n.events[0], std::make_pair(static_cast<void*>(nullptr), naExtracted));

  TListClone p;
  Fill(p, {nullptr, a, nullptr, b, nullptr});
  p.Pack();
  EXPECT_EQ(ItemsOf(p), (std::vector<void*>{a, b}));

  RecordingList c;
  Fill(c, {a, b});
  c.SetCount(5);
  EXPECT_EQ(ItemsOf(c), (std::vector<void*>{a, b, nullptr, nullptr, nullptr}));
  c.events.clear();
  c.SetCount(1);
  EXPECT_EQ(ItemsOf(c), (std::vector<void*>{a}));
  ASSERT_EQ(c.events.size(), 1u);
  EXPECT_EQ(c.events[0], std::make_pair(b, naDeleted));
}

TEST(ListClone, AssignOperators) {
  auto run = [](TListCloneAssignOp op) {
    TListClone dst, src;
    Fill(dst, {a, b});
    Fill(src, {b, d, e});
    dst.Assign(&src, op);
    return ItemsOf(dst);
  };
  EXPECT_EQ(run(laCopy), (std::vector<void*>{b, d, e}));
  EXPECT_EQ(run(laAnd), (std::vector<void*>{b}));
  EXPECT_EQ(run(laOr), (std::vector<void*>{a, b, d, e}));
  EXPECT_EQ(run(laXor), (std::vector<void*>{a, d, e}));
  EXPECT_EQ(run(laSrcUnique), (std::vector<void*>{a}));
  EXPECT_EQ(run(laDestUnique), (std::vector<void*>{e, d}));

  TListClone dst, dd;
  Fill(dst, {a});
  Fill(dd, {d, d});
  dst.Assign(&dd, laOr);
  EXPECT_EQ(ItemsOf(dst), (std::vector<void*>{a, d}));
  TListClone x;
  Fill(x, {a});
  x.Assign(&dd, laXor);
  EXPECT_EQ(ItemsOf(x), (std::vector<void*>{a, d, d}));

  TListClone la, lb, out;
  Fill(la, {a, b});
  Fill(lb, {b, d});
  Fill(out, {e});
  out.Assign(&la, laAnd, &lb);
  EXPECT_EQ(ItemsOf(out), (std::vector<void*>{b}));
}

TEST(ListClone, SortOrdersItems) {
  TListClone l;
  int values[] = {5, 3, 9, 1, 3, 7, 0};
  for (int& v : values) l.Add(&v);
  l.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
  std::vector<int> got;
  for (int i = 0; i < l.Count(); ++i) got.push_back(*static_cast<int*>(l.Items(i)));
  EXPECT_EQ(got, (std::vector<int>{0, 1, 3, 3, 5, 7, 9}));
}

// Random inserts, deletes, moves, exchanges and count and capacity changes
// against a vector: the same items after each step, the capacity never below
// the count, no array without capacity, and the notifications of the adds
// and deletes.
TEST(ListClone, RandomEditsMatchAVector) {
  std::mt19937 rng(42);
  RecordingList l;
  std::vector<void*> model;
  size_t added = 0, deleted = 0;
  for (int step = 0; step < 20000; ++step) {
    void* const item = (rng() % 5 == 0) ? nullptr : &cells[rng() % 8];
    const int32_t n = static_cast<int32_t>(model.size());
    const int32_t at = static_cast<int32_t>(rng() % (model.size() + 1));
    const int32_t other = n ? static_cast<int32_t>(rng() % model.size()) : 0;
    switch (rng() % 8) {
      case 0:
      case 1:
        l.Insert(at, item);
        model.insert(model.begin() + at, item);
        added += item != nullptr;
        break;
      case 2:
        l.Add(item);
        model.push_back(item);
        added += item != nullptr;
        break;
      case 3:
        if (n == 0) break;
        deleted += model[other] != nullptr;
        l.Delete(other);
        model.erase(model.begin() + other);
        break;
      case 4:
        if (n == 0) break;
        l.Move(other, at % n);
        {
          void* moved = model[other];
          model.erase(model.begin() + other);
          model.insert(model.begin() + at % n, moved);
        }
        break;
      case 5:
        if (n == 0) break;
        l.Exchange(other, at % n);
        std::swap(model[other], model[at % n]);
        break;
      case 6:
        l.SetCapacity(n + static_cast<int32_t>(rng() % 3));
        break;
      case 7: {
        const int32_t count = (rng() % 4 == 0) ? static_cast<int32_t>(rng() % (model.size() + 3)) : n;
        for (int32_t i = count; i < n; ++i) deleted += model[i] != nullptr;
        l.SetCount(count);
        model.resize(count, nullptr);
        break;
      }
    }
    ASSERT_EQ(ItemsOf(l), model) << "step " << step;
    ASSERT_GE(l.Capacity(), l.Count());
    ASSERT_EQ(l.List() == nullptr, l.Capacity() == 0);
  }
  size_t notifiedAdds = 0, notifiedDeletes = 0;
  for (const auto& [ptr, action] : l.events) (action == naAdded ? notifiedAdds : notifiedDeletes) += 1;
  EXPECT_EQ(notifiedAdds, added);
  EXPECT_EQ(notifiedDeletes, deleted);
}
