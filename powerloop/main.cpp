// Powerloop: the update program Stitchwell hands its downloaded package to.

#include <QCoreApplication>
#include <iostream>

#include "platform/Platform.h"
#include "powerloop/Powerloop.h"

int main(int argc, char** argv) {
    // Read before Qt looks at the arguments.
    const std::string commandLine = platform::rawCommandLine(argc, argv);
    QCoreApplication app(argc, argv);
    return powerloop::runProgram(commandLine, QString::fromStdString(platform::programFolder()),
                                 std::cerr);
}
