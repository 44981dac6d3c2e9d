#pragma once
// The lock that tells a running copy of a program: a lock file in the program folder that dies
// with its process.

#include <functional>

class QLockFile;

namespace InstanceLock {

// What an attempt at the lock found.
enum class Outcome {
    Taken,
    HeldByAnother,  // another live process holds it
    CannotMake,     // the lock file cannot be made at all (a read-only folder, say)
};

// One attempt: takes the lock when it is free or its holder is gone (an ended process the system
// has not reaped yet still owns its number for a while, and the lock would wait for it). Only a
// dead owner makes the lock stale, never its age.
Outcome Take(QLockFile& lock);
// Attempts until the lock is taken or cannot be made; between attempts keepWaiting waits (or
// handles events) and says false when the time is up, which leaves it HeldByAnother.
Outcome TakeWaiting(QLockFile& lock, const std::function<bool()>& keepWaiting);

}  // namespace InstanceLock
