#pragma once
// The lock that tells a running copy of a program: a lock file in the program folder that dies
// with its process.

class QLockFile;

namespace InstanceLock {
// Takes the lock when it is free or its holder is gone (an ended process the system has not
// reaped yet still owns its number for a while, and the lock would wait for it). False while
// another live process holds it, or when the lock cannot be made at all (see lock.error()).
bool Take(QLockFile& lock);
}  // namespace InstanceLock
