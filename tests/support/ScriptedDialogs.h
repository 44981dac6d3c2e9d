#pragma once
// A DialogService for tests: answers message boxes from a queue (or with a default), returns
// scripted folders from the browser, and records everything it was asked.

#include <QStringList>
#include <deque>
#include <functional>

#include "shell/DialogService.h"

class ScriptedDialogs : public DialogService {
public:
    struct Shown {
        QString text;
        MsgIcon icon;
        MsgButtons buttons;
        bool cancelIsDefault;
    };

    // Answers given in order; when the queue is empty, defaultAnswer is given (Ok, or Yes for a
    // Yes/No box when defaultAnswer is Ok).
    std::deque<MsgResult> answers;
    MsgResult defaultAnswer = MsgResult::Ok;
    // Called while a message box is "open", before it is answered (e.g. to press a menu).
    std::function<void(const QString&)> onMessage;
    std::vector<Shown> shown;

    std::deque<QString> folders;  // browser results; empty text when the queue is empty
    QStringList prompts;
    int beeps = 0;
    QStringList opened;

    MsgResult message(QWidget*, const QString& text, MsgIcon icon, MsgButtons buttons,
                      bool cancelIsDefault = false) override {
        shown.push_back({text, icon, buttons, cancelIsDefault});
        if (onMessage) onMessage(text);
        MsgResult r = defaultAnswer;
        if (!answers.empty()) {
            r = answers.front();
            answers.pop_front();
        }
        if (buttons == MsgButtons::YesNo && r == MsgResult::Ok) r = MsgResult::Yes;
        if (buttons == MsgButtons::YesNo && r == MsgResult::Cancel) r = MsgResult::No;
        return r;
    }
    QString browseFolder(QWidget*, const QString& prompt, bool) override {
        prompts << prompt;
        if (folders.empty()) return QString();
        QString f = folders.front();
        folders.pop_front();
        return f;
    }
    void beep() override { ++beeps; }
    void openLocation(const QString& location) override { opened << location; }
    QString lastText() const { return shown.empty() ? QString() : shown.back().text; }
};
