#include "platform/linux/atspi/AtspiTree.h"

#include "platform/linux/atspi/DBusBatch.h"
#include "support/Graphemes.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QRect>
#include <QRegularExpression>
#include <QSet>

#include <climits>
#include <vector>

namespace {

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString textInterface = QStringLiteral("org.a11y.atspi.Text");
const QString componentInterface = QStringLiteral("org.a11y.atspi.Component");
const QString applicationInterface = QStringLiteral("org.a11y.atspi.Application");
const QString tableInterface = QStringLiteral("org.a11y.atspi.Table");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// The desktop's accessibility switch, on the session bus.
const AccessibleElement a11yStatus{QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus")};
const QString registryName = QStringLiteral("org.a11y.atspi.Registry");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString nullPath = QStringLiteral("/org/a11y/atspi/null");

// AT-SPI roles and states used here.
constexpr uint roleDialog = 16;
constexpr uint roleFrame = 23;
constexpr uint rolePasswordText = 40;
constexpr uint roleWindow = 69;
// Documents: an office suite's spreadsheets, presentations and texts, whose
// names are the application's ("文書 - LibreOffice Document"), and a browser's
// web pages, named by their titles.
const QSet<uint> officeDocumentRoles{92 /* spreadsheet */, 93 /* presentation */, 94 /* text */};
constexpr uint roleDocumentWeb = 95;
// Menu bars, menus and their items: on other desktops they are not part of
// the window, and a closed menu's items are not on screen.
const QSet<uint> menuRoles{8 /* check menu item */,
                           33 /* menu */,
                           34 /* menu bar */,
                           35 /* menu item */,
                           41 /* popup menu */,
                           45 /* radio menu item */,
                           59 /* tearoff menu item */};
constexpr uint stateActive = 1;
constexpr uint stateFocusable = 11;
constexpr uint stateShowing = 25;

// Text is first asked for up to this many units per character of the limit:
// a longer text is read whole only in the rare case that its beginning holds
// fewer characters than the limit (clusters of many code points).
constexpr int unitsPerCharacter = 4;

std::atomic<int> nextId{0};

QDBusMessage method(const AccessibleElement& e, const QString& interface, const QString& member,
                    const QVariantList& arguments = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(e.owner, e.path, interface, member);
    m.setArguments(arguments);
    return m;
}

// A property read with Get: some toolkits answer nothing else (no GetAll).
QDBusMessage property(const AccessibleElement& e, const QString& interface, const QString& name)
{
    return method(e, propertiesInterface, QStringLiteral("Get"), {interface, name});
}

QVariant firstValue(const QDBusMessage& answer)
{
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return {};
    QVariant v = answer.arguments().first();
    if (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
        v = v.value<QDBusVariant>().variant();
    return v;
}

std::optional<AccessibleElement> referenceFrom(const QDBusArgument& arg, const QString& owner)
{
    QString service;
    QDBusObjectPath path;
    arg.beginStructure();
    arg >> service >> path;
    arg.endStructure();
    if (path.path().isEmpty() || path.path() == nullPath)
        return std::nullopt;
    return AccessibleElement{service.isEmpty() ? owner : service, path.path()};
}

// An "(so)" answer.
std::optional<AccessibleElement> referenceOf(const QDBusMessage& answer, const QString& owner)
{
    const QVariant v = firstValue(answer);
    if (v.userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    return referenceFrom(v.value<QDBusArgument>(), owner);
}

// An "a(so)" answer.
QList<AccessibleElement> referencesOf(const QDBusMessage& answer, const QString& owner)
{
    QList<AccessibleElement> out;
    const QVariant v = firstValue(answer);
    if (v.userType() != qMetaTypeId<QDBusArgument>())
        return out;
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a(so)"))
        return out;
    arg.beginArray();
    while (!arg.atEnd()) {
        if (std::optional<AccessibleElement> e = referenceFrom(arg, owner))
            out.append(*e);
    }
    arg.endArray();
    return out;
}

// An "a(so)" answer's references to nothing: children an application names
// but does not hand out.
int nullReferencesOf(const QDBusMessage& answer)
{
    const QVariant v = firstValue(answer);
    if (v.userType() != qMetaTypeId<QDBusArgument>())
        return 0;
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a(so)"))
        return 0;
    int nulls = 0;
    arg.beginArray();
    while (!arg.atEnd())
        nulls += referenceFrom(arg, QString()) ? 0 : 1;
    arg.endArray();
    return nulls;
}

// An "(iiii)" answer: a place on screen.
std::optional<QRect> rectOf(const QDBusMessage& answer)
{
    const QVariant v = firstValue(answer);
    if (v.userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("(iiii)"))
        return std::nullopt;
    int x = 0, y = 0, width = 0, height = 0;
    arg.beginStructure();
    arg >> x >> y >> width >> height;
    arg.endStructure();
    return QRect(x, y, width, height);
}

// A name made like a class name of the GObject type system ("GtkScrollbar",
// "AdwTabBox", "EditorPage"): one word of two or more capitalised parts.
bool isClassName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Z][a-z0-9]+(?:[A-Z][a-z0-9]*)+$"));
    return pattern.match(name).hasMatch();
}

// An "au" answer (a state set).
QList<uint> numbersOf(const QDBusMessage& answer)
{
    const QVariant v = firstValue(answer);
    if (v.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument arg = v.value<QDBusArgument>();
        if (arg.currentSignature() == QLatin1String("au"))
            return qdbus_cast<QList<uint>>(arg);
        return {};
    }
    if (v.canConvert<QList<uint>>())
        return v.value<QList<uint>>();
    return {};
}

bool hasState(const QList<uint>& states, uint state)
{
    const qsizetype word = state / 32;
    return word < states.size() && (states[word] >> (state % 32)) & 1u;
}

// A number from an answer; -1 when the answer is an error or no number.
qint64 numberOf(const QDBusMessage& answer)
{
    const QVariant v = firstValue(answer);
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok && v.typeId() != QMetaType::QString ? n : -1;
}

QString textOf(const QDBusMessage& answer)
{
    const QVariant v = firstValue(answer);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

}  // namespace

AtspiTree::AtspiTree() : AtspiTree(QString(), Timing()) {}

AtspiTree::AtspiTree(QString sessionBusAddress, Timing timing)
    : sessionAddress_(std::move(sessionBusAddress)), timing_(timing), id_(nextId++)
{
}

AtspiTree::~AtspiTree()
{
    std::lock_guard guard(lock_);
    if (!busName_.isEmpty())
        QDBusConnection::disconnectFromBus(busName_);
    if (!sessionName_.isEmpty())
        QDBusConnection::disconnectFromBus(sessionName_);
}

std::optional<QDBusConnection> AtspiTree::sessionBus()
{
    if (sessionAddress_.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        return bus.isConnected() ? std::optional(bus) : std::nullopt;
    }
    if (sessionName_.isEmpty())
        sessionName_ = QStringLiteral("sayri-session-%1").arg(id_);
    QDBusConnection bus = QDBusConnection::connectToBus(sessionAddress_, sessionName_);
    if (bus.isConnected())
        return bus;
    QDBusConnection::disconnectFromBus(sessionName_);
    return std::nullopt;
}

std::optional<QDBusConnection> AtspiTree::accessibilityBus()
{
    std::lock_guard guard(lock_);
    if (!busName_.isEmpty()) {
        QDBusConnection bus(busName_);
        if (bus.isConnected())
            return bus;
        // The bus has gone (a new session, a restarted launcher): look again.
        QDBusConnection::disconnectFromBus(busName_);
        busName_.clear();
    }

    QString address = qEnvironmentVariable("AT_SPI_BUS_ADDRESS");
    if (address.isEmpty()) {
        const std::optional<QDBusConnection> session = sessionBus();
        if (!session)
            return std::nullopt;
        const QDBusMessage call =
            QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
        ++calls_;
        address = textOf(session->call(call, QDBus::Block, timing_.limitMs));
        if (address.isEmpty())
            return std::nullopt;
    }
    const QString name = QStringLiteral("sayri-a11y-%1-%2").arg(id_).arg(++generation_);
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return std::nullopt;
    }
    busName_ = name;
    return bus;
}

bool AtspiTree::runBatch(DBusBatch& batch)
{
    calls_ += int(batch.size());
    return batch.run(timing_.stallMs, timing_.limitMs);
}

std::optional<bool> AtspiTree::accessibilityOn()
{
    std::optional<QDBusConnection> session;
    {
        std::lock_guard guard(lock_);
        session = sessionBus();
    }
    if (!session)
        return std::nullopt;
    ++calls_;
    const QDBusMessage answer =
        session->call(property(a11yStatus, QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled")),
                      QDBus::Block, timing_.limitMs);
    const QVariant enabled = firstValue(answer);
    if (enabled.typeId() != QMetaType::Bool)
        return std::nullopt;
    return enabled.toBool();
}

bool AtspiTree::setAccessibilityOn(bool on)
{
    std::optional<QDBusConnection> session;
    {
        std::lock_guard guard(lock_);
        session = sessionBus();
    }
    if (!session)
        return false;
    QDBusMessage set =
        method(a11yStatus, propertiesInterface, QStringLiteral("Set"),
               {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"), QVariant::fromValue(QDBusVariant(on))});
    ++calls_;
    return session->call(set, QDBus::Block, timing_.limitMs).type() == QDBusMessage::ReplyMessage;
}

AccessibleTree::Window AtspiTree::activeWindow(qint64 pid)
{
    const std::optional<QDBusConnection> bus = accessibilityBus();
    if (!bus || pid <= 0)
        return {};

    // The registered applications.
    QList<AccessibleElement> applications;
    DBusBatch registry(*bus);
    const AccessibleElement desktop{registryName, rootPath};
    registry.add(method(desktop, accessibleInterface, QStringLiteral("GetChildren")),
                 [&](const QDBusMessage& a) { applications = referencesOf(a, QString()); });
    if (!runBatch(registry))
        return {};

    // Those of this process, as the bus itself knows it.
    QList<AccessibleElement> ofProcess;
    DBusBatch owners(*bus);
    for (const AccessibleElement& app : applications) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        m.setArguments({app.owner});
        owners.add(m, [&, app](const QDBusMessage& a) {
            if (numberOf(a) == pid)
                ofProcess.append(app);
        });
    }
    if (!runBatch(owners))
        return {};
    if (ofProcess.isEmpty())
        return {std::nullopt, false};

    // Their top-level windows.
    QList<AccessibleElement> windows;
    DBusBatch tops(*bus);
    for (const AccessibleElement& app : ofProcess)
        tops.add(method(app, accessibleInterface, QStringLiteral("GetChildren")),
                 [&, app](const QDBusMessage& a) { windows += referencesOf(a, app.owner); });
    if (!runBatch(tops) || windows.isEmpty())
        return {};

    // The active one: a frame, window or dialog; failing that any active
    // top-level window (a plain toolkit window may call itself a filler);
    // failing that the only frame on screen (a browser whose bubble, such as
    // an offer to translate the page, took the active state from its window).
    std::vector<uint> roles(size_t(windows.size()), 0);
    std::vector<QList<uint>> states(size_t(windows.size()));
    DBusBatch facts(*bus);
    for (qsizetype i = 0; i < windows.size(); ++i) {
        facts.add(method(windows[i], accessibleInterface, QStringLiteral("GetRole")),
                  [&, i](const QDBusMessage& a) { roles[size_t(i)] = uint(qMax<qint64>(0, numberOf(a))); });
        facts.add(method(windows[i], accessibleInterface, QStringLiteral("GetState")),
                  [&, i](const QDBusMessage& a) { states[size_t(i)] = numbersOf(a); });
    }
    if (!runBatch(facts))
        return {};
    const auto isWindow = [](uint role) { return role == roleFrame || role == roleWindow || role == roleDialog; };
    std::optional<AccessibleElement> activeOther;
    QList<AccessibleElement> framesShown;
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const QList<uint>& s = states[size_t(i)];
        if (hasState(s, stateActive)) {
            if (isWindow(roles[size_t(i)]))
                return {windows[i]};
            if (!activeOther)
                activeOther = windows[i];
        } else if (roles[size_t(i)] == roleFrame && hasState(s, stateShowing)) {
            framesShown.append(windows[i]);
        }
    }
    if (activeOther)
        return {activeOther};
    if (framesShown.size() == 1)
        return {framesShown.first()};
    return {};
}

AtspiTree::Toolkit AtspiTree::toolkitOf(const QString& owner)
{
    std::lock_guard guard(lock_);
    return toolkits_.value(owner);
}

bool AtspiTree::learnToolkits(QDBusConnection& bus, const QList<Ask>& asks)
{
    QSet<QString> owners;
    {
        std::lock_guard guard(lock_);
        for (const Ask& a : asks)
            if (!toolkits_.contains(a.element.owner))
                owners.insert(a.element.owner);
    }
    if (owners.isEmpty())
        return true;
    QHash<QString, QString> names;
    QHash<QString, QString> versions;
    DBusBatch batch(bus);
    for (const QString& owner : owners) {
        const AccessibleElement root{owner, rootPath};
        batch.add(property(root, applicationInterface, QStringLiteral("ToolkitName")),
                  [&, owner](const QDBusMessage& a) { names[owner] = textOf(a); });
        batch.add(property(root, applicationInterface, QStringLiteral("Version")),
                  [&, owner](const QDBusMessage& a) { versions[owner] = textOf(a); });
    }
    if (!runBatch(batch))
        return false;
    std::lock_guard guard(lock_);
    for (const QString& owner : owners) {
        // GTK 4 publishes no SHOWING state and names an unlabelled widget
        // after its class ("GtkScrollbar", "AdwGizmo").
        const bool gtk4 = names.value(owner) == QLatin1String("GTK") && versions.value(owner).startsWith(u"4.");
        toolkits_.insert(owner, Toolkit{gtk4});
    }
    return true;
}

std::optional<std::vector<std::vector<int>>> AtspiTree::cellsOnScreen(QDBusConnection& bus, const QList<Ask>& asks,
                                                                      const QList<qint64>& childCounts,
                                                                      const QList<int>& given)
{
    // A spreadsheet's table holds every cell of the sheet, row after row: its
    // first children are the first row's, most of them far off screen. The
    // cells on screen lie between the cells at the table's visible corners.
    const qsizetype n = asks.size();
    std::vector<std::vector<int>> cells(static_cast<size_t>(n));
    std::vector<std::optional<QRect>> places(static_cast<size_t>(n));
    std::vector<qint64> columns(static_cast<size_t>(n), -1);
    DBusBatch shape(bus);
    for (qsizetype i = 0; i < n; ++i) {
        if (given[i] <= 0 || childCounts[i] <= qint64(given[i]) * 4 + 64)
            continue;
        const AccessibleElement& e = asks[i].element;
        shape.add(method(e, componentInterface, QStringLiteral("GetExtents"), {0u}),
                  [&, i](const QDBusMessage& a) { places[size_t(i)] = rectOf(a); });
        shape.add(property(e, tableInterface, QStringLiteral("NColumns")),
                  [&, i](const QDBusMessage& a) { columns[size_t(i)] = numberOf(a); });
    }
    if (!runBatch(shape))
        return std::nullopt;

    std::vector<std::optional<AccessibleElement>> corners(static_cast<size_t>(2 * n));
    DBusBatch corner(bus);
    for (qsizetype i = 0; i < n; ++i) {
        const std::optional<QRect>& place = places[size_t(i)];
        if (!place || place->width() < 2 || place->height() < 2 || columns[size_t(i)] < 2)
            continue;
        const AccessibleElement& e = asks[i].element;
        const QPoint ends[2] = {place->topLeft() + QPoint(1, 1), place->bottomRight() - QPoint(1, 1)};
        for (int k = 0; k < 2; ++k)
            corner.add(method(e, componentInterface, QStringLiteral("GetAccessibleAtPoint"),
                              {ends[k].x(), ends[k].y(), 0u}),
                       [&, i, k, e](const QDBusMessage& a) { corners[size_t(2 * i + k)] = referenceOf(a, e.owner); });
    }
    if (!runBatch(corner))
        return std::nullopt;

    std::vector<qint64> at(static_cast<size_t>(2 * n), -1);
    DBusBatch index(bus);
    for (size_t k = 0; k < corners.size(); ++k)
        if (corners[k])
            index.add(method(*corners[k], accessibleInterface, QStringLiteral("GetIndexInParent")),
                      [&, k](const QDBusMessage& a) { at[k] = numberOf(a); });
    if (!runBatch(index))
        return std::nullopt;

    for (qsizetype i = 0; i < n; ++i) {
        const qint64 width = columns[size_t(i)], first = at[size_t(2 * i)], last = at[size_t(2 * i + 1)];
        if (first < 0 || last < first || width <= 0)
            continue;
        for (qint64 row = first / width; row <= last / width; ++row)
            for (qint64 column = first % width; column <= last % width; ++column)
                if (qsizetype(cells[size_t(i)].size()) < given[i] && row * width + column <= INT_MAX)
                    cells[size_t(i)].push_back(int(row * width + column));
    }
    return cells;
}

std::optional<QList<AccessibleFacts>> AtspiTree::read(const QList<Ask>& asks, int valueLimit)
{
    std::optional<QDBusConnection> bus = accessibilityBus();
    if (!bus || !learnToolkits(*bus, asks))
        return std::nullopt;
    const qsizetype n = asks.size();
    QList<AccessibleFacts> facts(n);
    QList<qint64> childCounts(n, 0);
    std::vector<qint64> characterCounts(static_cast<size_t>(n), 0);
    std::vector<uint> roles(static_cast<size_t>(n), 0);
    std::vector<QList<uint>> states(static_cast<size_t>(n));
    std::vector<std::optional<QRect>> extents(static_cast<size_t>(n));
    std::vector<Toolkit> toolkits(static_cast<size_t>(n));

    // Round one: name, role, state, number of children, length of the text
    // (an element without text answers with an error); where the toolkit
    // keeps no SHOWING state, the place on screen instead.
    DBusBatch first(*bus);
    for (qsizetype i = 0; i < n; ++i) {
        const AccessibleElement& e = asks[i].element;
        toolkits[size_t(i)] = toolkitOf(e.owner);
        first.add(property(e, accessibleInterface, QStringLiteral("Name")),
                  [&, i](const QDBusMessage& a) { facts[i].title = textOf(a); });
        first.add(method(e, accessibleInterface, QStringLiteral("GetRole")),
                  [&, i](const QDBusMessage& a) { roles[size_t(i)] = uint(qMax<qint64>(0, numberOf(a))); });
        first.add(method(e, accessibleInterface, QStringLiteral("GetState")),
                  [&, i](const QDBusMessage& a) { states[size_t(i)] = numbersOf(a); });
        if (toolkits[size_t(i)].gtk4)
            first.add(method(e, componentInterface, QStringLiteral("GetExtents"), {0u}),
                      [&, i](const QDBusMessage& a) { extents[size_t(i)] = rectOf(a); });
        if (asks[i].maxChildren > 0)
            first.add(property(e, accessibleInterface, QStringLiteral("ChildCount")),
                      [&, i](const QDBusMessage& a) { childCounts[i] = numberOf(a); });
        first.add(property(e, textInterface, QStringLiteral("CharacterCount")),
                  [&, i](const QDBusMessage& a) { characterCounts[size_t(i)] = numberOf(a); });
    }
    if (!runBatch(first))
        return std::nullopt;

    for (qsizetype i = 0; i < n; ++i) {
        AccessibleFacts& f = facts[i];
        const uint role = roles[size_t(i)];
        const Toolkit& toolkit = toolkits[size_t(i)];
        const std::optional<QRect>& place = extents[size_t(i)];
        f.shown = !menuRoles.contains(role)
                  && (toolkit.gtk4 ? !place || !place->isEmpty() : hasState(states[size_t(i)], stateShowing));
        f.document = role == roleDocumentWeb || officeDocumentRoles.contains(role);
        if (officeDocumentRoles.contains(role))
            f.title.clear();
        f.focusable = hasState(states[size_t(i)], stateFocusable);
        if (toolkit.gtk4 && isClassName(f.title))
            f.title.clear();
        if (!f.shown)
            childCounts[i] = 0;
    }
    const QList<int> given = childrenGiven(asks, childCounts);
    std::optional<std::vector<std::vector<int>>> onScreen = cellsOnScreen(*bus, asks, childCounts, given);
    if (!onScreen)
        return std::nullopt;

    // Round two, for the elements shown: the children needed (all in one
    // call unless there are far more than needed) and the texts that can be
    // short enough, a password field's never.
    const qint64 textAsked = qint64(valueLimit) * unitsPerCharacter;
    std::vector<QString> texts(static_cast<size_t>(n));
    std::vector<QList<std::optional<AccessibleElement>>> byIndex(static_cast<size_t>(n));
    DBusBatch second(*bus);
    for (qsizetype i = 0; i < n; ++i) {
        if (!facts[i].shown)
            continue;
        const AccessibleElement& e = asks[i].element;
        const qint64 children = childCounts[i];
        const int wanted = given[i];
        if (children > 0 && wanted > 0) {
            if (children <= qint64(wanted) * 4 + 64) {
                second.add(method(e, accessibleInterface, QStringLiteral("GetChildren")),
                           [&, i, e](const QDBusMessage& a) {
                               facts[i].children = referencesOf(a, e.owner);
                               facts[i].withheld = facts[i].children.isEmpty() && nullReferencesOf(a) > 0;
                           });
            } else {
                // Far more children than needed: the first ones, or a table's cells on screen.
                std::vector<int> indices = std::move((*onScreen)[size_t(i)]);
                const qint64 first = indices.empty() ? qMin<qint64>(children, wanted) : 0;
                for (int c = 0; c < first; ++c)
                    indices.push_back(c);
                byIndex[size_t(i)].resize(qsizetype(qMin<size_t>(indices.size(), size_t(wanted))));
                for (int c = 0; c < byIndex[size_t(i)].size(); ++c)
                    second.add(method(e, accessibleInterface, QStringLiteral("GetChildAtIndex"), {indices[size_t(c)]}),
                               [&, i, c, e](const QDBusMessage& a) { byIndex[size_t(i)][c] = referenceOf(a, e.owner); });
            }
        }
        const qint64 characters = characterCounts[size_t(i)];
        if (characters > 0 && roles[size_t(i)] != rolePasswordText) {
            const int end = int(qMin(characters, textAsked));
            second.add(method(e, textInterface, QStringLiteral("GetText"), {0, end}),
                       [&, i](const QDBusMessage& a) { texts[size_t(i)] = textOf(a); });
        }
    }
    if (!runBatch(second))
        return std::nullopt;

    // Round three, rarely: a long text whose beginning is still short in
    // characters is read whole.
    DBusBatch third(*bus);
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 characters = characterCounts[size_t(i)];
        if (characters > textAsked && roles[size_t(i)] != rolePasswordText && !texts[size_t(i)].isEmpty()
            && Graphemes::count(texts[size_t(i)]) <= valueLimit)
            third.add(method(asks[i].element, textInterface, QStringLiteral("GetText"), {0, -1}),
                      [&, i](const QDBusMessage& a) { texts[size_t(i)] = textOf(a); });
        else if (characters > textAsked)
            texts[size_t(i)].clear();
    }
    if (!runBatch(third))
        return std::nullopt;

    for (qsizetype i = 0; i < n; ++i) {
        AccessibleFacts& f = facts[i];
        if (!f.shown)
            continue;
        for (const std::optional<AccessibleElement>& child : byIndex[size_t(i)])
            if (child)
                f.children.append(*child);
        if (f.children.size() > given[i])
            f.children.resize(given[i]);
        // Where a child sits inside its parent's text, an object replacement
        // character stands (browsers): it is no text of its own.
        QString text = texts[size_t(i)];
        text.replace(QChar(0xFFFC), u' ');
        if (!text.trimmed().isEmpty() && Graphemes::count(text) < valueLimit)
            f.value = text;
    }
    return facts;
}
