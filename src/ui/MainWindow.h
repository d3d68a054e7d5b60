#pragma once

#include "ConfigurationContext.h"
#include "QtDocumentPrompts.h"
#include "UserDialogs.h"
#include "forms/Form.h"
#include "store/DocumentCommands.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;

namespace Tollgate {

class PictureBox;
class RuleListView;
class RuleTable;
class SplashWindow;
class TabStrip;

// frmMain: the configuration window. It shows the one rule set of the run and edits it
// in place: the rule lists are views on the rule set's tables, and the idle time, the two
// messages and the password follow the rule set both ways.
class MainWindow : public QMainWindow, public Form
{
    Q_OBJECT

public:
    explicit MainWindow(ConfigurationContext& context, QWidget* parent = nullptr);

    QWidget& formWidget() override { return *this; }
    void translateParts(const WindowTranslation& translation) override;

    // Translates the window and shows the Windows tab.
    void Initialize();
    // Shows the page of a tab: 1 Windows, 2 Processes.
    void showTab(int index);

    void setChanged(bool changed);
    bool changed() const;

    // New, Open, Save, Save As and Quit; the File menu calls them.
    DocumentCommands& documentCommands() { return m_documents; }

    void clearWindows();
    void clearProcesses();
    void deleteWindow();
    void deleteProcess();
    // Open an editor for a rule (0 for a new one) and wait until it is closed.
    void EditWindowRule(int row);
    void EditProcessRule(int row);

    void selectLanguage();
    void restoreLanguageDefault();

    void showLogFile();
    // About: the splash window, without waiting; one at most.
    void showAbout();
    void deleteLogFile();

signals:
    // The program is to end at once, without closing its windows first.
    void endApplicationRequested();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void clearRules(RuleTable& table);
    void deleteRule(RuleTable& table, const RuleListView& list);

    // The frame of a tab page with its rule list and the Add and Clear buttons below it.
    struct RulePageDesign
    {
        QStringView plural;
        QStringView singular;
        QStringView listCaption;
        QStringView clearCaption;
        int listHeight;
    };
    struct RulePage
    {
        QGroupBox* frame = nullptr;
        RuleListView* list = nullptr;
        QPushButton* add = nullptr;
        QPushButton* clear = nullptr;
    };
    RulePage addRulePage(QWidget& client, const RulePageDesign& design);

    void createControls();
    void createMenus();
    void connectRuleSet();
    QAction* addMenuItem(
        QMenu& menu, const QString& name, const QString& caption, const QKeySequence& shortcut);

    UserDialogs::Answer ask(const QString& key, UserDialogs::Buttons buttons, UserDialogs::Icon icon);

    void showRunState(bool running);
    void showMessage(QPlainTextEdit& box, const QString& text);

    ConfigurationContext& m_context;
    QtDocumentPrompts m_prompts;
    DocumentCommands m_documents;

    PictureBox* m_picture = nullptr;
    QLabel* m_info = nullptr;
    TabStrip* m_tabs = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_passwordInfo = nullptr;
    QGroupBox* m_windowsPage = nullptr;
    RuleListView* m_windows = nullptr;
    QPlainTextEdit* m_blockMessage = nullptr;
    QGroupBox* m_processesPage = nullptr;
    RuleListView* m_processes = nullptr;
    QSlider* m_idleTime = nullptr;
    QPlainTextEdit* m_timeoutMessage = nullptr;
    QPushButton* m_run = nullptr;
    QList<QPixmap> m_tabPictures;
    QStringList m_windowHeaders;
    QStringList m_processHeaders;
    bool m_centred = false;
    QPointer<SplashWindow> m_about;
};

} // namespace Tollgate
