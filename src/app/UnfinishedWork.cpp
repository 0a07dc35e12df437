#include "app/UnfinishedWork.h"

#include "platform/ui/VeskAlert.h"
#include "store/VeskStore.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

namespace vesk {

namespace {

// How many names the question lists before it counts the rest.
constexpr int kNamesListed = 3;

QString quoted(const QString& name)
{
    return QStringLiteral("\u201C") + name + QStringLiteral("\u201D");
}

} // namespace

bool waitForImportsToEnd(VeskStore& store, int msecs)
{
    if (store.importCountInProgress() == 0)
        return true;
    // The imports end on the main thread: their results are applied from the event loop. Input
    // waits, so that nothing new starts while the window is on its way out.
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&store, &VeskStore::importCountInProgressChanged, &loop, [&store, &loop] {
        if (store.importCountInProgress() == 0)
            loop.quit();
    });
    bound.start(msecs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return store.importCountInProgress() == 0;
}

QString unfinishedImportsMessage(int count)
{
    return count == 1 ? QStringLiteral("1 import is not finished.")
                      : QString::number(count) + QStringLiteral(" imports are not finished.");
}

QString unfinishedImportsDetail(const QStringList& names, int count)
{
    QStringList listed;
    for (const QString& name : names.mid(0, kNamesListed))
        listed.append(quoted(name));
    QString what = listed.join(QStringLiteral(", "));
    const int more = qMax(count, int(names.size())) - int(listed.size());
    if (!listed.isEmpty() && more > 0)
        what += more == 1 ? QStringLiteral(" and 1 more") : QStringLiteral(" and %1 more").arg(more);
    const bool one = qMax(count, int(names.size())) == 1;
    if (listed.isEmpty())
        return one ? QStringLiteral("A file is still being copied. If Vesk closes now, it is not imported.")
                   : QStringLiteral("Files are still being copied. If Vesk closes now, they are not imported.");
    return QStringLiteral("Vesk is still copying ") + what
        + (one ? QStringLiteral(". If Vesk closes now, it is not imported.")
               : QStringLiteral(". If Vesk closes now, they are not imported."));
}

bool askToCloseWithUnfinishedWork(QWidget* parent, int unsaved, bool libraryProblem, const QStringList& imports,
                                  int importCount)
{
    QString message;
    QString detail;
    if (unsaved > 0) {
        message = unsaved == 1 ? QStringLiteral("1 item could not be saved.")
                               : QString::number(unsaved) + QStringLiteral(" items could not be saved.");
        detail = libraryProblem
            ? QStringLiteral("They are not in the library file. If Vesk closes now, they are lost.")
            : QStringLiteral("They are shown in this window but are not in the library file. If Vesk closes now, "
                             "they are lost.");
    }
    if (importCount > 0) {
        if (message.isEmpty()) {
            message = unfinishedImportsMessage(importCount);
            detail = unfinishedImportsDetail(imports, importCount);
        } else {
            detail += QStringLiteral("\n\n") + unfinishedImportsMessage(importCount) + QLatin1Char(' ')
                + unfinishedImportsDetail(imports, importCount);
        }
    }
    if (message.isEmpty())
        return true;
    std::unique_ptr<QMessageBox> box(makeVeskAlert(message, detail, AlertSymbol::Warning, parent));
    box->setWindowTitle(QStringLiteral("Vesk"));
    QPushButton* closeAnyway = addAlertButton(box.get(), QStringLiteral("Close Anyway"), QMessageBox::DestructiveRole);
    box->setDefaultButton(addAlertButton(box.get(), QStringLiteral("Keep Open"), QMessageBox::RejectRole));
    box->exec();
    return box->clickedButton() == static_cast<QAbstractButton*>(closeAnyway);
}

} // namespace vesk
