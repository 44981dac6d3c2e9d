#include "tests/support/FormAccess.h"

Form1Controls& controlsOf(Form1& form) {
    return form;
}

const Form1Controls& controlsOf(const Form1& form) {
    return form;
}
