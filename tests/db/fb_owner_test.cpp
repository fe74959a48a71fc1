// The owners of the client's interfaces: each interface adopted is ended
// exactly once, by the owner that holds it last, and never by one it was
// moved from. Counting stand-ins take the interfaces' place.

#include "db/fb_owner.h"

#include <gtest/gtest.h>

#include <functional>
#include <type_traits>

namespace imp::fb {
namespace {

// Counts how it was ended; both ways, so a wrong policy shows.
struct Counted {
  int releases = 0;
  int disposals = 0;
  void release() { ++releases; }
  void dispose() { ++disposals; }
};

using Ref = FbRef<Counted>;
using Disposable = FbDisposable<Counted>;

static_assert(!std::is_copy_constructible_v<Ref> && !std::is_copy_assignable_v<Ref>);
static_assert(!std::is_copy_constructible_v<Disposable> && !std::is_copy_assignable_v<Disposable>);
static_assert(std::is_nothrow_move_constructible_v<Ref> && std::is_nothrow_move_assignable_v<Ref>);

struct LifeCase {
  const char* name;
  // Works with owners of `a` and `b` inside its own scope; every owner it
  // makes is gone when it returns.
  std::function<void(Counted& a, Counted& b)> run;
  int a_releases;
  int b_releases;
};

TEST(FbOwner, EachAdoptedInterfaceIsReleasedExactlyOnce) {
  const LifeCase cases[] = {
      {"destroyed", [](Counted& a, Counted&) { Ref r(&a); }, 1, 0},
      {"moved into a new owner",
       [](Counted& a, Counted&) {
         Ref from(&a);
         Ref to(std::move(from));
       },
       1, 0},
      {"moved through three owners",
       [](Counted& a, Counted&) {
         Ref first(&a);
         Ref second(std::move(first));
         Ref third;
         third = std::move(second);
       },
       1, 0},
      {"moved onto an owner of another",
       [](Counted& a, Counted& b) {
         Ref from(&a);
         Ref to(&b);
         to = std::move(from);
       },
       1, 1},
      {"moved onto itself",
       [](Counted& a, Counted&) {
         Ref r(&a);
         Ref& same = r;
         r = std::move(same);
       },
       1, 0},
      {"reset to another",
       [](Counted& a, Counted& b) {
         Ref r(&a);
         r.reset(&b);
       },
       1, 1},
      {"reset to nothing, then destroyed",
       [](Counted& a, Counted&) {
         Ref r(&a);
         r.reset();
         r.reset();
       },
       1, 0},
      {"forgotten after the interface ended itself",
       [](Counted& a, Counted&) {
         Ref r(&a);
         r.forget();
       },
       0, 0},
      {"forgotten, then given another",
       [](Counted& a, Counted& b) {
         Ref r(&a);
         r.forget();
         r.reset(&b);
       },
       0, 1},
      {"empty", [](Counted&, Counted&) { Ref r; Ref moved(std::move(r)); }, 0, 0},
  };
  for (const LifeCase& c : cases) {
    SCOPED_TRACE(c.name);
    Counted a, b;
    c.run(a, b);
    EXPECT_EQ(a.releases, c.a_releases);
    EXPECT_EQ(b.releases, c.b_releases);
    EXPECT_EQ(a.disposals + b.disposals, 0);
  }
}

TEST(FbOwner, ReleaseHappensWhenTheLastOwnerEnds) {
  Counted a, b;
  Ref to(&b);
  {
    Ref from(&a);
    to = std::move(from);
    EXPECT_EQ(b.releases, 1) << "the interface replaced is released at once";
    EXPECT_EQ(from.get(), nullptr);
    EXPECT_FALSE(from);
  }
  EXPECT_EQ(a.releases, 0) << "the owner moved from released nothing";
  EXPECT_EQ(to.get(), &a);
  to.reset();
  EXPECT_EQ(a.releases, 1);
}

TEST(FbOwner, DisposableOwnerDisposes) {
  Counted a, b;
  {
    Disposable first(&a);
    Disposable second(std::move(first));
    second.reset(&b);
    EXPECT_EQ(a.disposals, 1);
    EXPECT_EQ(b.disposals, 0);
  }
  EXPECT_EQ(b.disposals, 1);
  EXPECT_EQ(a.releases + b.releases, 0);
}

}  // namespace
}  // namespace imp::fb
