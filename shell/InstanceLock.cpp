#include "shell/InstanceLock.h"

#include <QLockFile>
#include <QString>
#include <QSysInfo>

#include "platform/Platform.h"

namespace InstanceLock {

namespace {

bool takeOnce(QLockFile& lock) {
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) return true;
    if (lock.error() != QLockFile::LockFailedError) return false;
    qint64 pid = 0;
    QString host, app;
    if (!lock.getLockInfo(&pid, &host, &app) || host != QSysInfo::machineHostName()) return false;
    for (const auto& p : platform::listProcesses())
        if (p.pid == pid) return false;
    lock.removeStaleLockFile();
    return lock.tryLock(0);
}

}  // namespace

Outcome Take(QLockFile& lock) {
    if (takeOnce(lock)) return Outcome::Taken;
    return lock.error() == QLockFile::LockFailedError ? Outcome::HeldByAnother
                                                      : Outcome::CannotMake;
}

Outcome TakeWaiting(QLockFile& lock, const std::function<bool()>& keepWaiting) {
    while (true) {
        const Outcome outcome = Take(lock);
        if (outcome != Outcome::HeldByAnother || !keepWaiting()) return outcome;
    }
}

}  // namespace InstanceLock
