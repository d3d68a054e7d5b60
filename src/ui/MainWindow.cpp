#include "MainWindow.h"

#include "ProcessRuleEditor.h"
#include "RuleListView.h"
#include "RulePictures.h"
#include "SplashWindow.h"
#include "TabStrip.h"
#include "WindowRuleEditor.h"
#include "forms/PictureBox.h"
#include "forms/Twips.h"
#include "forms/WindowPlacement.h"
#include "lang/MessageCatalogue.h"
#include "lang/WindowTranslation.h"
#include "platform/Platform.h"
#include "store/RuleSet.h"
#include "store/RuleSetDocument.h"
#include "survey/ActivityLog.h"
#include "survey/SurveyCycle.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>

namespace Tollgate {

namespace {

    // Messages hold CR LF; a text box holds bare line feeds.
    QString shownText(const QString& message)
    {
        return QString(message).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }

} // namespace

MainWindow::MainWindow(ConfigurationContext& context, QWidget* parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_prompts(context.dialogs, *this)
    , m_documents(context.rules, context.document, context.catalogue, m_prompts)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tollgate - Blocking Windows and Processes"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_tabPictures = {RulePictures::windowRule(), RulePictures::processRule()};
    connect(&m_documents, &DocumentCommands::endProgramRequested, this, &MainWindow::endApplicationRequested);

    createControls();
    createMenus();
    connectRuleSet();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
    Initialize();
}

void MainWindow::createControls()
{
    auto* client = new QWidget(this);
    client->setFixedSize(Twips::forWidget(*this).size(7470, 9225));
    setCentralWidget(client);

    const HeaderBand header
        = addHeaderBand(*client, 7575, QSize(735, 615), QStringLiteral("Info Here"), 6255);
    m_picture = header.picture;
    m_info = header.info;

    m_tabs = addControl<TabStrip>(QStringLiteral("TabStrip"), client);
    placeTwips(*m_tabs, 120, 960, 7215, 7695);
    m_tabs->addTab(QStringLiteral("Windows"));
    m_tabs->addTab(QStringLiteral("Processes"));

    auto* passwordFrame
        = addControl<QGroupBox>(QStringLiteral("framePassword"), QStringLiteral("Tollgate Password"), client);
    placeTwips(*passwordFrame, 360, 1440, 6735, 855);
    m_password = addControl<QLineEdit>(QStringLiteral("txtPassword"), passwordFrame);
    placeTwips(*m_password, 240, 360, 5775, 285);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    m_passwordInfo
        = addControl<QPushButton>(QStringLiteral("cmdPasswordInfo"), QStringLiteral("i"), passwordFrame);
    placeTwips(*m_passwordInfo, 6120, 360, 375, 285);
    m_passwordInfo->setCheckable(true);
    QFont bold = m_passwordInfo->font();
    bold.setBold(true);
    m_passwordInfo->setFont(bold);

    RulePage windowsPage = addRulePage(
        *client, {u"Windows", u"Window", u"List of Windows to be controlled", u"Clear Window  List", 3015});
    m_windowsPage = windowsPage.frame;
    m_windows = windowsPage.list;
    auto* blockLabel = addControl<QLabel>(QStringLiteral("lblBlockMessage"),
        QStringLiteral("Message for User if a Window is blocked"), m_windowsPage);
    placeTwips(*blockLabel, 240, 4440, 6135, 255);
    m_blockMessage = addControl<QPlainTextEdit>(QStringLiteral("txtBlockMessage"), m_windowsPage);
    placeTwips(*m_blockMessage, 240, 4680, 6255, 855);

    RulePage processesPage = addRulePage(*client,
        {u"Processes", u"Process", u"List of Processes to be controlled", u"Clear Process List", 2175});
    m_processesPage = processesPage.frame;
    m_processes = processesPage.list;
    auto* idleLabel = addControl<QLabel>(QStringLiteral("lblIdleTime"),
        QStringLiteral("Computer Idle Time in Seconds before closing Processes"), m_processesPage);
    placeTwips(*idleLabel, 240, 3600, 6135, 255);
    m_idleTime = addControl<QSlider>(QStringLiteral("sliderIdleTime"), Qt::Horizontal, m_processesPage);
    placeTwips(*m_idleTime, 240, 3840, 6255, 630);
    m_idleTime->setRange(RuleSet::MinIdleTime, RuleSet::MaxIdleTime);
    m_idleTime->setSingleStep(5);
    m_idleTime->setPageStep(5);
    m_idleTime->setTickInterval(10);
    m_idleTime->setTickPosition(QSlider::TicksBelow);
    auto* timeoutLabel = addControl<QLabel>(QStringLiteral("lblTimeOutMessage"),
        QStringLiteral("Message for User if Idle Timeout occurs"), m_processesPage);
    placeTwips(*timeoutLabel, 240, 4440, 6135, 255);
    m_timeoutMessage = addControl<QPlainTextEdit>(QStringLiteral("txtTimeoutMessage"), m_processesPage);
    placeTwips(*m_timeoutMessage, 240, 4680, 6255, 855);

    for (QPlainTextEdit* box : {m_blockMessage, m_timeoutMessage}) {
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        box->setTabChangesFocus(true);
    }

    m_run = addControl<QPushButton>(QStringLiteral("cmdRun"), QStringLiteral("&Run"), client);
    placeTwips(*m_run, 5760, 8760, 1575, 375);
    m_run->setCheckable(true);

    m_windows->setRuleTable(m_context.rules.windowRules());
    m_processes->setRuleTable(m_context.rules.processRules());
    m_windowHeaders = {QStringLiteral("Window Title"), QStringLiteral("Action")};
    m_processHeaders = {QStringLiteral("Process Name"), QStringLiteral("Action"), QStringLiteral("Exe File")};
    m_context.rules.windowRules().setHeaderLabels(m_windowHeaders);
    m_context.rules.processRules().setHeaderLabels(m_processHeaders);

    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) { showTab(index + 1); });
    connect(m_passwordInfo, &QPushButton::toggled, this,
        [this](bool shown) { m_password->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password); });
    connect(windowsPage.add, &QPushButton::clicked, this, [this] { EditWindowRule(0); });
    connect(windowsPage.clear, &QPushButton::clicked, this, &MainWindow::clearWindows);
    connect(processesPage.add, &QPushButton::clicked, this, [this] { EditProcessRule(0); });
    connect(processesPage.clear, &QPushButton::clicked, this, &MainWindow::clearProcesses);
    connect(m_windows, &RuleListView::editRequested, this, [this] {
        if (const int position = m_windows->selectedPosition())
            EditWindowRule(position);
    });
    connect(m_windows, &RuleListView::deleteRequested, this, &MainWindow::deleteWindow);
    connect(m_processes, &RuleListView::editRequested, this, [this] {
        if (const int position = m_processes->selectedPosition())
            EditProcessRule(position);
    });
    connect(m_processes, &RuleListView::deleteRequested, this, &MainWindow::deleteProcess);
    connect(m_run, &QPushButton::toggled, &m_context.survey, &SurveyCycle::setRunning);
    connect(&m_context.survey, &SurveyCycle::runningChanged, this, &MainWindow::showRunState);
}

MainWindow::RulePage MainWindow::addRulePage(QWidget& client, const RulePageDesign& design)
{
    // The two pages differ only in names, texts and the list's height.
    const QString plural = design.plural.toString();
    const QString singular = design.singular.toString();
    RulePage page;
    page.frame = addControl<QGroupBox>(QStringLiteral("frame") + plural, plural, &client);
    placeTwips(*page.frame, 360, 2400, 6735, 5895);
    auto* label
        = addControl<QLabel>(QStringLiteral("lbl") + plural, design.listCaption.toString(), page.frame);
    placeTwips(*label, 240, 480, 6255, 255);
    page.list = addControl<RuleListView>(plural, page.frame);
    placeTwips(*page.list, 240, 720, 6255, design.listHeight);
    const int buttonTop = 720 + design.listHeight + 105;
    page.add = addControl<QPushButton>(
        QStringLiteral("cmdAdd") + singular, QStringLiteral("Add ") + singular, page.frame);
    placeTwips(*page.add, 240, buttonTop, 1815, 375);
    page.clear = addControl<QPushButton>(
        QStringLiteral("cmdClear") + plural, design.clearCaption.toString(), page.frame);
    placeTwips(*page.clear, 4680, buttonTop, 1815, 375);
    return page;
}

QAction* MainWindow::addMenuItem(
    QMenu& menu, const QString& name, const QString& caption, const QKeySequence& shortcut)
{
    auto* item = addControl<QAction>(name, caption, &menu);
    item->setShortcut(shortcut);
    menu.addAction(item);
    return item;
}

void MainWindow::createMenus()
{
    auto* file = addControl<QMenu>(QStringLiteral("mnuFile"), QStringLiteral("&File"), this);
    menuBar()->addMenu(file);
    connect(addMenuItem(*file, QStringLiteral("mnuFileNew"), QStringLiteral("&New"), QKeySequence::New),
        &QAction::triggered, &m_documents, &DocumentCommands::NewFile);
    connect(addMenuItem(*file, QStringLiteral("mnuFileOpen"), QStringLiteral("&Open"), QKeySequence::Open),
        &QAction::triggered, &m_documents, &DocumentCommands::OpenFile);
    connect(addMenuItem(*file, QStringLiteral("mnuFileSave"), QStringLiteral("&Save"), QKeySequence::Save),
        &QAction::triggered, &m_documents, [this] { m_documents.SaveFile(false); });
    connect(addMenuItem(*file, QStringLiteral("mnuFileSaveAs"), QStringLiteral("Save &As"), {}),
        &QAction::triggered, &m_documents, [this] { m_documents.SaveFile(true); });
    file->addSeparator();
    connect(addMenuItem(*file, QStringLiteral("mnuFileQuit"), QStringLiteral("&Quit"),
                QKeySequence(Qt::CTRL | Qt::Key_Q)),
        &QAction::triggered, &m_documents, &DocumentCommands::EndProgram);

    auto* tools = addControl<QMenu>(QStringLiteral("mnuTools"), QStringLiteral("&Tools"), this);
    menuBar()->addMenu(tools);
    auto* language = addControl<QMenu>(QStringLiteral("mnuLanguage"), QStringLiteral("&Language"), tools);
    tools->addMenu(language);
    connect(addMenuItem(*language, QStringLiteral("mnuLanguageSelect"), QStringLiteral("&Select Language"),
                QKeySequence(Qt::CTRL | Qt::Key_L)),
        &QAction::triggered, this, &MainWindow::selectLanguage);
    connect(addMenuItem(*language, QStringLiteral("mnuLanguageRestore"), QStringLiteral("&Restore Default"),
                QKeySequence(Qt::CTRL | Qt::Key_E)),
        &QAction::triggered, this, [this] {
            restoreLanguageDefault();
            ask(QStringLiteral("MSG_LANGUAGE_DEFAULT_RESTORED"), UserDialogs::Buttons::Ok,
                UserDialogs::Icon::Information);
        });
    auto* log = addControl<QMenu>(QStringLiteral("mnuLog"), QStringLiteral("L&og"), tools);
    tools->addMenu(log);
    connect(addMenuItem(*log, QStringLiteral("mnuFileShowLog"), QStringLiteral("&Show Logfile"), {}),
        &QAction::triggered, this, &MainWindow::showLogFile);
    connect(addMenuItem(*log, QStringLiteral("mnuDeleteLogFile"), QStringLiteral("&Delete Logfile"), {}),
        &QAction::triggered, this, &MainWindow::deleteLogFile);

    auto* help = addControl<QMenu>(QStringLiteral("MnuHelp"), QStringLiteral("&Help"), this);
    menuBar()->addMenu(help);
    connect(addMenuItem(*help, QStringLiteral("MnuHelpContents"), QStringLiteral("&Contents"),
                QKeySequence(Qt::Key_F1)),
        &QAction::triggered, this, [this] {
            m_context.platform.shell().open(
                m_context.catalogue.paths().dataFolder() + QStringLiteral("/Help/TollgateHelp.htm"));
        });
    connect(addMenuItem(*help, QStringLiteral("mnuHelpAbout"), QStringLiteral("&About"), {}),
        &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::connectRuleSet()
{
    RuleSet& rules = m_context.rules;
    m_password->setText(rules.password());
    m_idleTime->setValue(rules.idleTime());
    showMessage(*m_blockMessage, rules.blockMessage());
    showMessage(*m_timeoutMessage, rules.timeoutMessage());
    {
        const QSignalBlocker blocker(m_run);
        m_run->setChecked(m_context.survey.running());
    }

    connect(&rules, &RuleSet::passwordChanged, this, [this](const QString& text) {
        if (m_password->text() != text) {
            const QSignalBlocker blocker(m_password);
            m_password->setText(text);
        }
    });
    // Every keystroke in the password box marks the rule set changed.
    connect(m_password, &QLineEdit::textChanged, &rules, &RuleSet::setPassword);

    connect(&rules, &RuleSet::idleTimeChanged, this, [this](int seconds) {
        const QSignalBlocker blocker(m_idleTime);
        m_idleTime->setValue(seconds);
    });
    connect(m_idleTime, &QSlider::valueChanged, this, [this](int seconds) {
        m_context.rules.setIdleTime(seconds);
        setChanged(true);
    });

    connect(&rules, &RuleSet::blockMessageChanged, this,
        [this](const QString& text) { showMessage(*m_blockMessage, text); });
    connect(&rules, &RuleSet::timeoutMessageChanged, this,
        [this](const QString& text) { showMessage(*m_timeoutMessage, text); });
    // Edits of the two messages count as changes, so the save question protects them too.
    connect(m_blockMessage, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = RuleSet::withCrLf(m_blockMessage->toPlainText());
        if (text != m_context.rules.blockMessage()) {
            m_context.rules.setBlockMessage(text);
            setChanged(true);
        }
    });
    connect(m_timeoutMessage, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = RuleSet::withCrLf(m_timeoutMessage->toPlainText());
        if (text != m_context.rules.timeoutMessage()) {
            m_context.rules.setTimeoutMessage(text);
            setChanged(true);
        }
    });
}

void MainWindow::showMessage(QPlainTextEdit& box, const QString& text)
{
    if (RuleSet::withCrLf(box.toPlainText()) == text)
        return;
    const QSignalBlocker blocker(&box);
    box.setPlainText(shownText(text));
}

void MainWindow::Initialize()
{
    TranslateForm(*this, m_context.catalogue);
    {
        const QSignalBlocker blocker(m_tabs);
        m_tabs->setCurrentIndex(0);
    }
    showTab(1);
    m_windows->shareColumnWidths();
    m_processes->shareColumnWidths();
}

void MainWindow::showTab(int index)
{
    const bool windows = index == 1;
    if (index != 1 && index != 2)
        return;
    m_windowsPage->setVisible(windows);
    m_processesPage->setVisible(!windows);
    m_picture->setPixmap(m_tabPictures.value(index - 1));
    m_info->setText(m_context.catalogue.MessageText(
        windows ? QStringLiteral("INFO_WINDOWS") : QStringLiteral("INFO_PROCESSES")));
}

void MainWindow::translateParts(const WindowTranslation& translation)
{
    for (int tab = 1; tab <= m_tabs->count(); ++tab) {
        const QString text = translation.caption(QStringLiteral("TabStrip.Tabs(%1)").arg(tab));
        if (!text.isEmpty())
            m_tabs->setTabText(tab - 1, text);
    }
    const auto translateHeaders
        = [&translation](const QString& list, QStringList& headers, RuleTable& table) {
              bool any = false;
              for (int column = 1; column <= headers.size(); ++column) {
                  const QString text
                      = translation.caption(QStringLiteral("%1.ColumnHeaders(%2)").arg(list).arg(column));
                  if (!text.isEmpty()) {
                      headers[column - 1] = text;
                      any = true;
                  }
              }
              if (any)
                  table.setHeaderLabels(headers);
          };
    translateHeaders(QStringLiteral("Windows"), m_windowHeaders, m_context.rules.windowRules());
    translateHeaders(QStringLiteral("Processes"), m_processHeaders, m_context.rules.processRules());
}

void MainWindow::setChanged(bool changed)
{
    m_context.rules.setChanged(changed);
}

bool MainWindow::changed() const
{
    return m_context.rules.changed();
}

UserDialogs::Answer MainWindow::ask(const QString& key, UserDialogs::Buttons buttons, UserDialogs::Icon icon)
{
    return m_context.dialogs.ask(this, m_context.catalogue.MessageText(key), buttons, icon);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_documents.mayDiscardChanges())
        event->accept();
    else
        event->ignore();
}

void MainWindow::clearRules(RuleTable& table)
{
    if (ask(QStringLiteral("CONFIRM_CLEAR_LIST"), UserDialogs::Buttons::YesNo, UserDialogs::Icon::Exclamation)
        == UserDialogs::Answer::No)
        return;
    table.clear();
    setChanged(true);
}

void MainWindow::deleteRule(RuleTable& table, const RuleListView& list)
{
    // Asked before the selection is looked at, and a Yes marks the rule set changed even
    // when no rule was selected.
    if (ask(QStringLiteral("CONFIRM_CLEAR_ITEM"), UserDialogs::Buttons::YesNo, UserDialogs::Icon::Exclamation)
        == UserDialogs::Answer::No)
        return;
    if (const int position = list.selectedPosition())
        table.removeRule(position);
    setChanged(true);
}

void MainWindow::clearWindows()
{
    clearRules(m_context.rules.windowRules());
}

void MainWindow::clearProcesses()
{
    clearRules(m_context.rules.processRules());
}

void MainWindow::deleteWindow()
{
    deleteRule(m_context.rules.windowRules(), *m_windows);
}

void MainWindow::deleteProcess()
{
    deleteRule(m_context.rules.processRules(), *m_processes);
}

void MainWindow::EditWindowRule(int row)
{
    WindowRuleEditor editor(m_context, this);
    editor.prepare(row);
    m_context.dialogs.runModal(editor);
}

void MainWindow::EditProcessRule(int row)
{
    ProcessRuleEditor editor(m_context, this);
    editor.prepare(row);
    m_context.dialogs.runModal(editor);
}

void MainWindow::selectLanguage()
{
    UserDialogs::FileRequest request;
    request.mode = UserDialogs::FileRequest::Mode::Open;
    request.filter = QStringLiteral("Language files (*.lng *.txt);;All files (*)");
    request.startPath = m_context.catalogue.LanguageFolder();
    const QString path = m_context.dialogs.chooseFile(this, request);
    if (path.isEmpty())
        return;
    m_context.catalogue.SetLanguageFile(path);
    TranslateForm(*this, m_context.catalogue);
}

void MainWindow::restoreLanguageDefault()
{
    m_context.catalogue.SetLanguageFile(QString());
    TranslateForm(*this, m_context.catalogue);
}

void MainWindow::showAbout()
{
    if (!m_about) {
        m_about = new SplashWindow(m_context.platform, SplashWindow::address(), this);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::showLogFile()
{
    m_context.platform.shell().open(m_context.log.LogFilePath());
}

void MainWindow::deleteLogFile()
{
    if (ask(QStringLiteral("CONFIRM_CLEAR_LOG"), UserDialogs::Buttons::YesNo, UserDialogs::Icon::Exclamation)
        != UserDialogs::Answer::No)
        m_context.log.DeleteLog();
}

void MainWindow::showRunState(bool running)
{
    {
        const QSignalBlocker blocker(m_run);
        m_run->setChecked(running);
    }
    if (running) {
        QPalette red = m_run->palette();
        red.setColor(QPalette::Button, QColor(255, 0, 0));
        m_run->setPalette(red);
        m_run->setText(m_context.catalogue.MessageText(QStringLiteral("CAPTION_STOP")));
        hide();
    } else {
        m_run->setPalette(QPalette());
        m_run->setText(m_context.catalogue.MessageText(QStringLiteral("CAPTION_RUN")));
    }
}

void MainWindow::showEvent(QShowEvent* event)
{
    // Centred when first shown; after that it stays where the user puts it.
    if (!m_centred) {
        m_centred = true;
        centreOnScreen(*this);
    }
    QMainWindow::showEvent(event);
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        SetTopMost(*this, m_context.platform.windows());
    return QMainWindow::event(event);
}

} // namespace Tollgate
