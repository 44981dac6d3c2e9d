#include "ui/MergeCommand.h"

#include "merge/MergeRun.h"
#include "ui/Form1.h"

std::shared_ptr<MergeRun> installMergeCommands(
    Form1& form, std::function<void(const std::string&, const std::string&)> onToolStart) {
    auto run = std::make_shared<MergeRun>(
        form, MergeEnv{form.programFolder().toStdString(), std::move(onToolStart), {}});
    form.attachRun(&run->state());
    form.mergeCommand = [run] { run->MenuDo_Click(); };
    form.stopCommand = [run] { run->MenuStop_Click(); };
    form.endRunForClose = [run] { run->EndForClose(); };
    return run;
}
