// Powerloop: the update program Stitchwell hands its downloaded package to.

#include <QCoreApplication>
#include <iostream>

#include "media/DiagnosticLog.h"
#include "platform/Platform.h"
#include "powerloop/Powerloop.h"

int main(int argc, char** argv) {
    // Read before Qt looks at the arguments.
    const std::string commandLine = platform::rawCommandLine(argc, argv);
    QCoreApplication app(argc, argv);
    DiagnosticLog::install();
    return powerloop::runProgram(commandLine, QString::fromStdString(platform::programFolder()),
                                 std::cerr);
}
