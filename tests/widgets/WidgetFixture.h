#pragma once

#include "common/FakeClock.h"
#include "core/RuleSetFixture.h"
#include "notify/PasswordPrompt.h"
#include "notify/UserMessageWindow.h"
#include "notify/WindowNotifier.h"
#include "platform/fake/FakePlatform.h"
#include "survey/ActivityLog.h"
#include "survey/SurveyCycle.h"
#include "ui/ConfigurationContext.h"
#include "ui/MainWindow.h"
#include "ui/UserDialogs.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace Tollgate {

// A window's control by its name; a test of a control that is missing fails at once.
template<typename T> T& child(QObject& window, const char* name)
{
    T* found = window.findChild<T*>(str(name));
    if (!found)
        throw std::runtime_error(std::string("no control ") + name);
    return *found;
}

// Answers message boxes, file dialogs and modal editors from queues that a test fills,
// and records what was asked.
class ScriptedDialogs : public UserDialogs
{
public:
    struct Question
    {
        QString text;
        Buttons buttons;
    };

    QList<Question> questions;
    std::deque<Answer> answers;
    QList<FileRequest> fileRequests;
    // An empty name stands for a cancelled dialog.
    std::deque<QString> files;
    // Each modal editor is handed to the next script while it is on screen.
    std::deque<std::function<void(QDialog&)>> editorScripts;
    int modalRuns = 0;

    Answer ask(QWidget*, const QString& text, Buttons buttons, Icon) override
    {
        questions.append({text, buttons});
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        return nextScripted(answers, "question: " + text.toStdString(), Answer::Cancel);
    }

    QString chooseFile(QWidget*, const FileRequest& request) override
    {
        fileRequests.append(request);
        return nextScripted(files, "file dialog");
    }

    int runModal(QDialog& dialog) override
    {
        ++modalRuns;
        dialog.show();
        if (const auto script = nextScripted(editorScripts, "editor " + dialog.objectName().toStdString()))
            script(dialog);
        // A script that leaves the editor open gives up on it, as the close box would.
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
};

// Every window of the program on a fake desktop: the configuration window with scripted
// dialogs, the survey's message window and password prompt, a simulated clock, and a log
// and a language folder in the sandbox.
class WidgetFixture : public RuleSetFixture
{
protected:
    Platform::FakePlatform fake;
    FakeClock clock;
    ActivityLog log {Sandbox::folder() + str("/Tollgate.log"), clock};
    WindowNotifier notifier {rules, catalogue, fake.windows()};
    SurveyCycle survey {rules, fake.platform(), notifier, log, clock};
    ScriptedDialogs dialogs;
    ConfigurationContext context {rules, document, catalogue, survey, log, fake.platform(), dialogs};
    std::unique_ptr<MainWindow> window;

    void SetUp() override
    {
        notifier.setSurvey(survey);
        RuleSetFixture::SetUp();
        openWindow();
    }

    void TearDown() override
    {
        EXPECT_TRUE(dialogs.answers.empty() && dialogs.files.empty() && dialogs.editorScripts.empty())
            << "scripted answers, file names or editor scripts left over";
        window.reset();
    }

    // A new main window on a new rule set, as the interactive start makes it.
    void openWindow()
    {
        window.reset();
        window = std::make_unique<MainWindow>(context);
        document.LoadRuleSet(QString());
    }

    template<typename T> T& control(const char* name) const { return child<T>(*window, name); }
    UserMessageWindow& message() { return notifier.messageWindow(); }
    PasswordPrompt& prompt() { return notifier.passwordPrompt(); }
};

} // namespace Tollgate
