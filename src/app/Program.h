#pragma once

#include "lang/MessageCatalogue.h"
#include "lang/QtTextTranslator.h"
#include "notify/WindowNotifier.h"
#include "store/DocumentWatcher.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "store/SettingsStore.h"
#include "survey/ActivityLog.h"
#include "survey/Clock.h"
#include "survey/GuardLines.h"
#include "survey/SurveyCycle.h"
#include "ui/ConfigurationContext.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

namespace Tollgate {

class MainWindow;
class UserDialogs;
namespace Platform {
    class Platform;
    class StandardInput;
} // namespace Platform

// modMain: the windowed program from start-up to its end. It holds the one rule set of the
// run, the survey with its timer, the message windows and the main window.
class Program : public QObject
{
    Q_OBJECT

public:
    Program(Platform::Platform& platform, const ProgramPaths& paths, UserDialogs& dialogs,
        QObject* parent = nullptr);
    ~Program() override;

    // Whether the arguments (without the program's own name) ask for a command-line mode:
    // any argument before a "--" that starts with "-".
    static bool hasOptions(const QStringList& arguments);
    // The document path of an unattended start: every other argument joined by single
    // blanks, so that a path with blanks that arrived split is whole again.
    static QString commandLineText(const QStringList& arguments);

    // Start-up after the second-instance check: the splash, the file association, a new
    // rule set in the main window, then either the document and Run, with no window shown,
    // or the main window. A document is followed: each new version on disk is loaded again,
    // unless it cannot be read or the configuration window has unsaved changes.
    void Main(const QString& commandLine);
    // A guarded start: the blocks that the guard reports on input show the block message
    // and go into the log, as the survey's own do.
    void hearGuard(Platform::StandardInput& input);
    // Ends the program at once: no question, no close events, nothing saved.
    void EndApplication();
    // Whether the event loop ended through EndApplication, the administrator's Quit.
    bool endedOnRequest() const { return m_endedOnRequest; }

    // Where start-up warnings go; standard error unless set.
    void setWarningOutput(std::function<void(const QString&)> output) { m_warn = std::move(output); }

    bool hasMainWindow() const { return m_mainWindow != nullptr; }
    MainWindow& mainWindow() { return *m_mainWindow; }
    RuleSet& rules() { return m_rules; }
    RuleSetDocument& document() { return m_document; }
    SurveyCycle& survey() { return m_survey; }
    WindowNotifier& notifier() { return m_notifier; }
    ActivityLog& log() { return m_log; }
    MessageCatalogue& catalogue() { return m_catalogue; }

private:
    void createMainWindow();
    void showMainWindow();
    void reloadDocument();
    void notReloaded(const QString& reason);

    Platform::Platform& m_platform;
    SettingsStore m_store;
    MessageCatalogue m_catalogue;
    QtTextTranslator m_qtTexts;
    RuleSet m_rules;
    RuleSetDocument m_document;
    SystemClock m_clock;
    ActivityLog m_log;
    WindowNotifier m_notifier;
    // Runs its own timer while running.
    SurveyCycle m_survey;
    ConfigurationContext m_context;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::function<void(const QString&)> m_warn;
    std::unique_ptr<DocumentWatcher> m_watcher;
    // The document's path after the last load of the followed document; another one means
    // that the configuration window has opened another document.
    QString m_followedPath;
    GuardLines m_guardLines;
    bool m_endedOnRequest = false;
};

} // namespace Tollgate
