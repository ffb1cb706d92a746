#include "mvx_referable.h"

#include <gtest/gtest.h>

using Morvenix::AutoPtr;

namespace {

struct Counted : Morvenix::Referable {
    explicit Counted(int* destroyed) : destroyed(destroyed) {}
    ~Counted() override { ++*destroyed; }
    int* destroyed;
};

struct CountedNoTS : Morvenix::ReferableNoTS {
    explicit CountedNoTS(int* destroyed) : destroyed(destroyed) {}
    ~CountedNoTS() override { ++*destroyed; }
    int* destroyed;
};

template <class T>
class ReferableTest : public ::testing::Test {};
using Kinds = ::testing::Types<Counted, CountedNoTS>;
TYPED_TEST_SUITE(ReferableTest, Kinds);

TYPED_TEST(ReferableTest, LastResetDestroysOnce)
{
    int destroyed = 0;
    AutoPtr<TypeParam> a(new TypeParam(&destroyed));
    AutoPtr<TypeParam> b(a);
    a.reset();
    EXPECT_EQ(0, destroyed);
    EXPECT_TRUE(bool(b));
    EXPECT_FALSE(bool(a));
    b.reset();
    EXPECT_EQ(1, destroyed);
    b.reset();
    EXPECT_EQ(1, destroyed);
}

TYPED_TEST(ReferableTest, SelfAssignmentKeepsSoleReference)
{
    int destroyed = 0;
    AutoPtr<TypeParam> a(new TypeParam(&destroyed));
    a = a.get();
    a = a;
    EXPECT_EQ(0, destroyed);
    EXPECT_EQ(2, a->addRef());
    EXPECT_EQ(1, a->release());
}

TYPED_TEST(ReferableTest, AssignmentReleasesOldObject)
{
    int first = 0, second = 0;
    AutoPtr<TypeParam> a(new TypeParam(&first));
    AutoPtr<TypeParam> b(new TypeParam(&second));
    a = b;
    EXPECT_EQ(1, first);
    EXPECT_EQ(0, second);
    EXPECT_EQ(a.get(), b.get());
}

TEST(AutoPtr, NullCopiesTouchNothing)
{
    AutoPtr<Counted> a;
    AutoPtr<Counted> b(a);
    EXPECT_FALSE(bool(a));
    EXPECT_FALSE(bool(b));
    EXPECT_EQ(sizeof(void*), sizeof(AutoPtr<Counted>));
}

TEST(AutoPtr, ReleaseReturnsZeroAtTheEnd)
{
    int destroyed = 0;
    Counted* raw = new Counted(&destroyed);
    EXPECT_EQ(1, raw->addRef());
    EXPECT_EQ(0, raw->release());
    EXPECT_EQ(1, destroyed);
}

} // namespace

namespace {

struct Node : Morvenix::Referable {
    Morvenix::AutoPtr<Node> next;
    int value = 0;
};

TEST(AutoPtr, AssigningFromTheReleasedObjectsMember)
{
    AutoPtr<Node> p(new Node);
    p->next = new Node;
    p->next->value = 7;
    p = p->next; // the only reference to the second node lives in the first one
    ASSERT_TRUE(bool(p));
    EXPECT_EQ(7, p->value);
    EXPECT_FALSE(bool(p->next));
}

} // namespace
