#include "shell/uidesktop.h"

#include "shell/dialogs.h"
#include "shell/icons.h"
#include "shell/modulelibrary.h"
#include "shell/soundplayer.h"

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QSystemTrayIcon>
#include <QTimer>

UiDesktop::UiDesktop(QObject *parent) : QObject(parent) {}

UiDesktop::~UiDesktop()
{
    closeAll();
}

void UiDesktop::closeAll()
{
    if (m_yesNo) m_yesNo->close();
    if (m_message) m_message->close();
}

void UiDesktop::showMessage(const QString &text)
{
    // Kept for tests and bounded: a stranger's noise can raise many messages.
    m_shown.append(text);
    if (m_shown.size() > 200) m_shown.removeFirst();
    if (!m_message) {
        m_message = new MessageWindow;
        // A closed window is on its way out: the next message gets a new one.
        connect(m_message, &MessageWindow::closing, this, [this] { m_message = nullptr; });
    }
    m_message->setText(text);
    if (!m_message->isVisible()) m_messageOwner = askingWindow();
    showOver(m_message, m_messageOwner);
}

QWidget *UiDesktop::askingWindow() const
{
    const auto usable = [](QWidget *w) { return w && w->isVisible() && !w->isMinimized(); };
    QWidget *active = QApplication::activeWindow();
    // Asked while a message or a question has the focus: over whatever that one is over.
    if (active && active == m_message) active = m_messageOwner;
    if (active && active == m_yesNo) active = m_questionOwner;
    if (usable(active)) return active;
    return usable(m_home) ? m_home.data() : nullptr;
}

YesNoWindow *UiDesktop::showQuestion(const QString &question)
{
    if (!m_yesNo) {
        m_yesNo = new YesNoWindow;
        connect(m_yesNo, &YesNoWindow::answered, this, [this](int a) {
            m_lastAnswer = a;
            m_yesNo = nullptr;
        });
    }
    m_lastAnswer = 0;
    m_yesNo->setText(question);
    if (!m_yesNo->isVisible()) m_questionOwner = askingWindow();
    showOver(m_yesNo, m_questionOwner);
    m_yesNo->activateWindow();
    Q_EMIT yesNoShown();
    return m_yesNo;
}

void UiDesktop::askYesNoLater(const QString &question, QObject *context, std::function<void(int)> answered)
{
    YesNoWindow *window = showQuestion(question);
    m_laterQuestion = window;
    connect(window, &YesNoWindow::answered, context, [this, window, answered](int a) {
        if (m_laterQuestion == window) m_laterQuestion = nullptr;
        answered(a);
    });
}

void UiDesktop::withdrawQuestion()
{
    if (m_laterQuestion) m_laterQuestion->close();
}

int UiDesktop::askYesNo(const QString &question)
{
    // A nested question shares the window; every waiting caller wakes on its answer.
    YesNoWindow *window = showQuestion(question);
    QEventLoop loop;
    connect(window, &YesNoWindow::answered, &loop, &QEventLoop::quit);
    connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (m_lastAnswer == 0) loop.exec();
    return m_lastAnswer == 0 ? -1 : m_lastAnswer;
}

void UiDesktop::playSound(const QString &fileName)
{
    m_played.append(fileName);
    if (m_played.size() > 200) m_played.removeFirst();
    if (!m_soundsTried) {
        m_soundsTried = true;
        // Looked for once per run; without the module the client stays silent and says why once.
        static const modulelibrary::Resolved module = [] {
            modulelibrary::Resolved r =
                modulelibrary::resolve(QStringLiteral("wezsound"), "wezCreateSoundPlayer");
            if (!r.function) qWarning().noquote() << "wez: sounds are off:" << r.error;
            return r;
        }();
        if (module.function) m_sounds.reset(reinterpret_cast<SoundPlayerFactory>(module.function)());
    }
    if (m_sounds) m_sounds->play(fileName);
}

void UiDesktop::openUrl(const QUrl &url)
{
    if (m_opener)
        m_opener(url);
    else
        QDesktopServices::openUrl(url);
}

QString UiDesktop::clipboardText()
{
    return QApplication::clipboard()->text();
}

void UiDesktop::setClipboardText(const QString &text)
{
    QApplication::clipboard()->setText(text);
}

void UiDesktop::clearClipboard()
{
    QApplication::clipboard()->clear();
}

QString UiDesktop::takeNextFileName(bool &preset)
{
    preset = m_hasNextFileName;
    m_hasNextFileName = false;
    return std::exchange(m_nextFileName, QString());
}

QString UiDesktop::getSaveFileName(const QString &caption, const QString &presetName, const QString &filter)
{
    bool preset = false;
    const QString next = takeNextFileName(preset);
    if (preset) return next;
    // What is saved this way came from the partner: the downloads folder suits it first.
    return askFile(
        {QFileDialog::AcceptSave, caption, presetName, filter, true, QStandardPaths::DownloadLocation});
}

QString UiDesktop::getSaveTarget(const QString &filter)
{
    bool preset = false;
    const QString next = takeNextFileName(preset);
    if (preset) return next;
    // No overwrite question and no suffix of the dialog's own: the caller completes the name.
    return askFile(
        {QFileDialog::AcceptSave, QString(), QString(), filter, false, QStandardPaths::DocumentsLocation});
}

QString UiDesktop::startFolder(QStandardPaths::StandardLocation preferred) const
{
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir()) return m_lastFolder;
    const QStandardPaths::StandardLocation other = preferred == QStandardPaths::DownloadLocation
                                                       ? QStandardPaths::DocumentsLocation
                                                       : QStandardPaths::DownloadLocation;
    for (const QStandardPaths::StandardLocation where : {preferred, other}) {
        const QString folder = QStandardPaths::writableLocation(where);
        // Without a desktop the documents folder is often the home folder itself.
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    }
    return QDir::homePath();
}

QString UiDesktop::askFile(const FileQuestion &question)
{
    const QString folder = startFolder(question.preferred);
    // Over the asking window but not owned by it: a chat window that closes while
    // its save dialog is up must not take the dialog, and the received file, along.
    QFileDialog dialog(nullptr, question.caption, folder, question.filter);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setAcceptMode(question.mode);
    dialog.setFileMode(question.mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                                : QFileDialog::AnyFile);
    if (!question.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!question.preset.isEmpty())
        dialog.selectFile(QFileInfo(question.preset).isAbsolute() ? question.preset
                                                                  : QDir(folder).filePath(question.preset));
    placeOver(&dialog, askingWindow());
    QTimer::singleShot(0, &dialog, [this, &dialog] { Q_EMIT fileDialogShown(&dialog); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString chosen = dialog.selectedFiles().constFirst();
    m_lastFolder = QFileInfo(chosen).absolutePath();
    return chosen;
}

void UiDesktop::setClipboardImage(const QImage &image)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    clipboard->clear();
    clipboard->setImage(image);
}

QString UiDesktop::getOpenFileName(const QString &caption, const QString &filter)
{
    bool preset = false;
    const QString next = takeNextFileName(preset);
    if (preset) return next;
    return askFile(
        {QFileDialog::AcceptOpen, caption, QString(), filter, true, QStandardPaths::DocumentsLocation});
}

bool UiDesktop::isWindowActive(int n)
{
    auto active = [](QWidget *w) { return w && w->isVisible() && !w->isMinimized() && w->isActiveWindow(); };
    if (n != 0) return m_windowOf && active(m_windowOf(n));
    // Any window of this copy: the entrance, the numbered ones and the dialogs.
    if (active(m_message) || active(m_yesNo)) return true;
    for (int k = 1; m_windowOf && k <= 10; ++k)
        if (active(m_windowOf(k))) return true;
    return false;
}

void UiDesktop::notify(int n, const QString &title, const QString &text)
{
    m_notified.append(title + QStringLiteral(": ") + text);
    if (m_notified.size() > 200) m_notified.removeFirst();
    if (m_tray && m_tray->isVisible() && QSystemTrayIcon::supportsMessages())
        m_tray->showMessage(title, text, icons::appIcon());
    // The hint goes to the window the news is about (a request's is its question), else to the
    // entrance window; it is looked for once the news has opened its window.
    QTimer::singleShot(0, this, [this, n] {
        QWidget *w = n == 0 ? m_yesNo.data() : m_windowOf ? m_windowOf(n) : nullptr;
        if ((!w || !w->isVisible()) && m_windowOf) w = m_windowOf(1);
        if (w) QApplication::alert(w);
    });
}

void UiDesktop::setTrayToolTip(const QString &text)
{
    m_toolTip = text;
    if (m_tray) m_tray->setToolTip(text);
}

void UiDesktop::setTray(QSystemTrayIcon *tray)
{
    m_tray = tray;
    if (m_tray && !m_toolTip.isEmpty()) m_tray->setToolTip(m_toolTip);
}
