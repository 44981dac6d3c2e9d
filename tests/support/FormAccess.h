#pragma once
// The main window's controls, for the window's tests (and the programs that drive the window as
// a user would: the fault suite's driven program, the merge benchmark).

#include "tests/support/FormAccess.h"
#include "ui/Form1.h"

Form1Controls& controlsOf(Form1& form);
const Form1Controls& controlsOf(const Form1& form);
