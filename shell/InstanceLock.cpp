#include "shell/InstanceLock.h"

#include <QLockFile>
#include <QString>
#include <QSysInfo>

#include "platform/Platform.h"

namespace InstanceLock {

bool Take(QLockFile& lock) {
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

}  // namespace InstanceLock
