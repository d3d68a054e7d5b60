#pragma once

#include "DesktopFixture.h"
#include "survey/SurveyCycle.h"
#include "survey/SurveyNotifier.h"
#include "ui/ConfigurationContext.h"
#include "ui/MainWindow.h"
#include "ui/UserDialogs.h"

#include <QDialog>
#include <QTest>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace Tollgate {

// Answers message boxes, file dialogs and modal editors from queues that a test fills,
// and records what was asked.
class ScriptedDialogs : public UserDialogs
{
public:
    struct Question
    {
        QString text;
        Buttons buttons;
        Icon icon;
    };

    QList<Question> questions;
    std::deque<Answer> answers;
    QList<FileRequest> fileRequests;
    // An empty name stands for a cancelled dialog.
    std::deque<QString> files;
    // Each modal editor is handed to the next script while it is on screen.
    std::deque<std::function<void(QDialog&)>> editorScripts;
    int modalRuns = 0;

    Answer ask(QWidget*, const QString& text, Buttons buttons, Icon icon) override
    {
        questions.append({text, buttons, icon});
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text.toStdString();
            return Answer::Cancel;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QString chooseFile(QWidget*, const FileRequest& request) override
    {
        fileRequests.append(request);
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file dialog";
            return {};
        }
        const QString name = files.front();
        files.pop_front();
        return name;
    }

    int runModal(QDialog& dialog) override
    {
        ++modalRuns;
        dialog.show();
        if (editorScripts.empty()) {
            ADD_FAILURE() << "unexpected editor " << dialog.objectName().toStdString();
        } else {
            const auto script = std::move(editorScripts.front());
            editorScripts.pop_front();
            script(dialog);
        }
        // A script that leaves the editor open gives up on it, as the close box would.
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
};

class QuietNotifier : public SurveyNotifier
{
public:
    void showBlockMessage() override { }
    void showTimeoutMessage() override { }
    void showPasswordPrompt() override { }
};

// The configuration window on a fake desktop, with scripted dialogs and a language folder
// in the sandbox.
class WidgetFixture : public DesktopFixture
{
protected:
    QuietNotifier notifier;
    SurveyCycle survey {rules, fake.platform(), notifier, log, clock};
    ScriptedDialogs dialogs;
    ConfigurationContext context {rules, document, catalogue, survey, log, fake.platform(), dialogs};
    std::unique_ptr<MainWindow> window;

    void SetUp() override
    {
        // Tests may share one process, and with it the registry.
        catalogue.SetLanguageFile(QString());
        openWindow();
    }

    void TearDown() override
    {
        EXPECT_TRUE(dialogs.answers.empty()) << "answers left over";
        EXPECT_TRUE(dialogs.files.empty()) << "file names left over";
        EXPECT_TRUE(dialogs.editorScripts.empty()) << "editor scripts left over";
        window.reset();
    }

    // A new main window on a new rule set, as the interactive start makes it.
    void openWindow()
    {
        window.reset();
        window = std::make_unique<MainWindow>(context);
        document.LoadRuleSet(QString());
    }

    template<typename T> T& control(const char* name) const
    {
        T* found = window->findChild<T*>(str(name));
        if (!found)
            throw std::runtime_error(std::string("no control ") + name);
        return *found;
    }

    void addWindowRule(const char* pattern, const char* action)
    {
        rules.windowRules().appendRow({str(pattern), str(action)});
    }
    void addProcessRule(const char* name, const char* action, const char* exe = "")
    {
        rules.processRules().appendRow({str(name), str(action), str(exe)});
    }
    QStringList column(const RuleTable& table, int column) const
    {
        QStringList cells;
        for (int position = 1; position <= table.count(); ++position)
            cells.append(table.cell(position, column));
        return cells;
    }
};

} // namespace Tollgate
