// Pressling: started by Stitchwell with one text of TAB-separated fields (tool folder, transcoder,
// compression list, rate factor, and two fields nobody reads); by hand the same text can be
// given as one argument.

#include <QCoreApplication>
#include <iostream>

#include "compressor/Compressor.h"
#include "media/DiagnosticLog.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
    // Read before Qt looks at the arguments.
    const std::string commandLine = platform::rawCommandLine(argc, argv);
    QCoreApplication app(argc, argv);
    DiagnosticLog::install();
    return compressor::runProgram(commandLine, platform::programFolder(), std::cerr);
}
