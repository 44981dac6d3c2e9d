// The program-folder lock: held by a live holder, given up while waited for, impossible to make.

#include <gtest/gtest.h>

#include <QLockFile>

#include "shell/InstanceLock.h"
#include "tests/support/TestMedia.h"

namespace {

using InstanceLock::Outcome;

TEST(InstanceLock, HeldWaitedForAndImpossible) {
    testsupport::TempDir tmp;
    const QString path = tmp.sub("程序 it's.lock");
    QLockFile held(path), second(path);
    ASSERT_EQ(InstanceLock::Take(held), Outcome::Taken);
    EXPECT_EQ(InstanceLock::Take(second), Outcome::HeldByAnother);
    int waits = 0;
    EXPECT_EQ(InstanceLock::TakeWaiting(second, [&] { return ++waits < 3; }),
              Outcome::HeldByAnother);
    EXPECT_EQ(waits, 3);
    EXPECT_EQ(InstanceLock::TakeWaiting(second, [&] { return held.unlock(), true; }),
              Outcome::Taken);

    QLockFile nowhere(tmp.sub("missing/x.lock"));
    EXPECT_EQ(InstanceLock::TakeWaiting(nowhere, [&] { return ++waits, true; }),
              Outcome::CannotMake);
    EXPECT_EQ(waits, 3);  // nothing to wait for
}

}  // namespace
