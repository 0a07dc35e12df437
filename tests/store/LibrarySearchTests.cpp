// The search area on its own, over a host that stands for the store.
#include "platform/WorkPools.h"
#include "store/LibrarySearch.h"
#include "store/LibrarySearchHost.h"
#include "store/StoreTestSupport.h"

#include <QSemaphore>
#include <QThreadPool>

using namespace vesk;
using namespace vesk::test;

namespace {

// The library and the published results as a store would hold them; each published list is
// noted by the first word of its items' titles.
class FakeSearchHost final : public LibrarySearchHost {
public:
    const QList<VeskItem>& items() const override { return library; }
    ItemsReading itemsReading() const override { return ItemsReading{gate, &library, &replacements}; }
    qsizetype indexOfItem(const QUuid& id) const override { return positionInList(library, id); }
    const QSet<QUuid>& broughtBackIDs() const override { return noMarks; }
    QHash<QUuid, QSet<QString>> personNamesByItem() const override { return {}; }
    QSet<QString> personNamesOf(const QUuid&) const override { return {}; }
    const QString& searchText() const override { return text; }
    void setSearchText(const QString& value) override { text = value; }
    bool searchReady() const override { return true; }
    const QList<VeskItem>& filteredItems() const override { return filtered; }
    void setFilteredItems(const QList<VeskItem>& value) override
    {
        filtered = value;
        QSet<QString> words;
        for (const VeskItem& item : value)
            words.insert(item.title.section(QLatin1Char(' '), 0, 0));
        published.append(QStringList(words.begin(), words.end()).join(QLatin1Char(',')));
    }
    void replaceFilteredItems(const QList<VeskItem>& value) override { filtered = value; }
    void releaseFilteredItems() override { filtered = {}; }
    void setRetrievalHints(const QHash<QUuid, QString>&) override {}
    bool readOnly() const override { return false; }
    bool refuseWhileReadOnly(const QString&, const QString&) override { return false; }
    void adjustIndexingCount(int) override {}
    void writeEmbedding(const QUuid&, const QList<double>&) override {}

    QList<VeskItem> library;
    std::shared_ptr<ReadGate> gate = std::make_shared<ReadGate>();
    quint64 replacements = 0;
    QSet<QUuid> noMarks;
    QString text;
    QList<VeskItem> filtered;
    QStringList published;
};

class LibrarySearchPasses : public StoreTest {
protected:
    // A library of `each` items titled "alpha n" and as many titled "beta n".
    std::unique_ptr<LibrarySearch> makeSearch(qsizetype each)
    {
        auto host = std::make_unique<FakeSearchHost>();
        const qint64 now = clock->now().toSecsSinceEpoch();
        for (qsizetype n = 0; n < each; ++n) {
            host->library.append(makeItem(QStringLiteral("alpha %1").arg(n), now - 2 * n));
            host->library.append(makeItem(QStringLiteral("beta %1").arg(n), now - 2 * n - 1));
        }
        m_host = host.get();
        auto search = std::make_unique<LibrarySearch>(services(), std::move(host));
        search->rebuildIndex();
        return search;
    }
    // Lets every pass on a worker end and hands its result to the main thread.
    static void settle()
    {
        WorkPools::shared().files()->waitForDone();
        drainEvents();
    }

    FakeSearchHost* m_host = nullptr;
};

TEST_F(LibrarySearchPasses, APassOnAWorkerPublishesOnlyWhileTheFieldStillReadsItsText)
{
    const QString alpha = QStringLiteral("alpha");
    const QString beta = QStringLiteral("beta");
    struct Case {
        const char* name;
        std::function<void(LibrarySearch&, FakeSearchHost&)> typing;
        QStringList published;
    };
    const QList<Case> cases = {
        {"the field still reads it", [&](LibrarySearch&, FakeSearchHost&) {}, {alpha}},
        {"the field moved on", [&](LibrarySearch&, FakeSearchHost& host) { host.text = beta; }, {}},
        {"a newer pass", [&](LibrarySearch& search, FakeSearchHost& host) {
             host.text = beta;
             search.runLexicalPass(beta);
         }, {beta}},
        {"an explicit refresh", [&](LibrarySearch& search, FakeSearchHost&) { search.refreshFilteredItems(alpha); },
            {alpha}},
        {"an emptied field", [&](LibrarySearch& search, FakeSearchHost& host) {
             host.text.clear();
             search.runLexicalPass(host.text);
         }, {}},
    };
    const qsizetype each = LibrarySearch::lexicalPassOnWorkerFrom / 2 + 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto search = makeSearch(each);
        m_host->text = alpha;
        search->runLexicalPass(alpha);
        c.typing(*search, *m_host);
        settle();
        EXPECT_EQ(m_host->published, c.published);
    }

    // What the worker publishes is what the same pass answers at once.
    auto search = makeSearch(each);
    m_host->text = alpha;
    search->runLexicalPass(alpha);
    settle();
    const QList<VeskItem> onWorker = m_host->filtered;
    search->refreshFilteredItems(alpha);
    EXPECT_EQ(onWorker.size(), each);
    EXPECT_EQ(onWorker, m_host->filtered);
}

// A query ranked again after another takes the items of its earlier list where they are still
// what the library holds: the list shows every item as it is now, in the order a first ranking
// gives.
TEST_F(LibrarySearchPasses, ARankingAgainShowsTheItemsAsTheyAreNow)
{
    const QString alpha = QStringLiteral("alpha");
    const QString beta = QStringLiteral("beta");
    struct Case {
        const char* name;
        std::function<void(QList<VeskItem>&)> change;
    };
    const qint64 now = clock->now().toSecsSinceEpoch();
    const QList<Case> cases = {
        {"nothing changed", [](QList<VeskItem>&) {}},
        {"a title edited", [](QList<VeskItem>& items) { items[2].title = QStringLiteral("alpha edited"); }},
        {"a note added", [](QList<VeskItem>& items) { items[4].note = QStringLiteral("alpha note"); }},
        {"an item removed", [](QList<VeskItem>& items) { items.removeAt(0); }},
        {"an item added", [&](QList<VeskItem>& items) { items.prepend(makeItem(QStringLiteral("alpha new"), now + 5)); }},
        {"an item made a beta", [](QList<VeskItem>& items) { items[6].title = QStringLiteral("beta moved"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto search = makeSearch(8);
        search->refreshFilteredItems(alpha);
        search->refreshFilteredItems(beta);
        c.change(m_host->library);
        search->noteItemsChanged();
        search->refreshFilteredItems(alpha);
        const QList<VeskItem> again = m_host->filtered;

        auto freshHost = std::make_unique<FakeSearchHost>();
        freshHost->library = m_host->library;
        const FakeSearchHost* firstRanking = freshHost.get();
        LibrarySearch fresh(services(), std::move(freshHost));
        fresh.rebuildIndex();
        fresh.refreshFilteredItems(alpha);
        EXPECT_FALSE(again.isEmpty());
        EXPECT_EQ(again, firstRanking->filtered);
    }
}

// Keeps every thread of the work pool busy while it lives: a task started meanwhile waits in the
// queue with everything it holds.
class BusyWorkPool {
public:
    BusyWorkPool()
        : m_pool(WorkPools::shared().files()), m_threads(m_pool->maxThreadCount())
    {
        for (int i = 0; i < m_threads; ++i) {
            m_pool->start([this] {
                m_started.release();
                m_free.acquire();
            });
        }
        m_started.acquire(m_threads);
    }
    ~BusyWorkPool()
    {
        m_free.release(m_threads);
        m_pool->waitForDone();
    }

private:
    QThreadPool* m_pool;
    int m_threads;
    QSemaphore m_started;
    QSemaphore m_free;
};

// A pass waiting for a worker holds no copy of the library's list: a new item put at the front
// meanwhile would copy the whole library first. It still answers from the list as it stands.
TEST_F(LibrarySearchPasses, APassWaitingForAWorkerHoldsNoCopyOfTheList)
{
    const QString alpha = QStringLiteral("alpha");
    QList<VeskItem> versions;
    QObject receiver;
    struct Case {
        const char* name;
        std::function<void(LibrarySearch&, FakeSearchHost&)> start;
        std::function<void(const FakeSearchHost&)> answered;
    };
    const QList<Case> cases = {
        {"the deep pass", [&](LibrarySearch& search, FakeSearchHost& host) {
             host.text = alpha;
             search.startDeepSearch(alpha);
             drainEvents(); // the query's vector
         }, [&](const FakeSearchHost& host) { EXPECT_EQ(host.published.value(0), alpha); }},
        {"other versions of a file", [&](LibrarySearch& search, FakeSearchHost& host) {
             (void)search.findRelatedVersionsLater(host.library.at(0), 6, &receiver,
                 [&](const QList<VeskItem>& found) { versions = found; });
         }, [&](const FakeSearchHost& host) { EXPECT_EQ(versions, QList<VeskItem>{host.library.at(3)}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto search = makeSearch(4);
        m_host->library[0].filePath = QStringLiteral("/files/report final.pdf");
        m_host->library[3].filePath = QStringLiteral("/files/report_v2.pdf");
        search->noteItemsChanged();
        {
            const BusyWorkPool busy;
            c.start(*search, *m_host);
            EXPECT_TRUE(m_host->library.isDetached());
        }
        settle();
        c.answered(*m_host);
    }
}

} // namespace
