#include "tests/accessibility/accessible_tree.h"

#include <gtest/gtest.h>

#include <QAccessibleInterface>
#include <QApplication>
#include <QMap>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QTest>

namespace accessibility_test {

namespace {

void collect(QAccessibleInterface* node, int depth, std::vector<AccessibleNode>& out) {
    if (node == nullptr || !node->isValid()) {
        return;
    }
    AccessibleNode entry;
    entry.widget = qobject_cast<QWidget*>(node->object());
    entry.objectName = node->object() != nullptr ? node->object()->objectName() : QString();
    entry.role = node->role();
    entry.name = node->text(QAccessible::Name);
    entry.description = node->text(QAccessible::Description);
    entry.focusable = node->state().focusable;
    entry.depth = depth;
    out.push_back(entry);
    for (int i = 0; i < node->childCount(); ++i) {
        collect(node->child(i), depth + 1, out);
    }
}

}  // namespace

std::vector<AccessibleNode> accessibleTree(QWidget* window) {
    std::vector<AccessibleNode> nodes;
    collect(QAccessible::queryAccessibleInterface(window), 0, nodes);
    return nodes;
}

std::vector<AccessibleNode> declaredControls(const std::vector<AccessibleNode>& tree) {
    std::vector<AccessibleNode> controls;
    for (const AccessibleNode& node : tree) {
        if (node.depth > 0 && !node.objectName.isEmpty() &&
            !node.objectName.startsWith(QLatin1String("qt_"))) {
            controls.push_back(node);
        }
    }
    return controls;
}

QString nameProblem(const AccessibleNode& node) {
    static const QRegularExpression designName(
        QStringLiteral("^(Form|Text|Label|Command|Check|Frame|Picture|Chart)\\d+(\\(\\d+\\))?$"));
    const QString name = node.name.trimmed();
    if (name.isEmpty()) {
        return QStringLiteral("has no accessible name");
    }
    if (name == node.objectName || designName.match(name).hasMatch()) {
        return QStringLiteral("is named only by its object name \"%1\"").arg(name);
    }
    return QString();
}

void activate(QWidget* window, QWidget* first) {
    window->show();
    QApplication::setActiveWindow(window);
    window->activateWindow();
    [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(window);
    first->setFocus(Qt::OtherFocusReason);
}

std::vector<QWidget*> tabWalk(int limit) {
    std::vector<QWidget*> reached;
    QWidget* start = QApplication::focusWidget();
    if (start == nullptr) {
        return reached;
    }
    reached.push_back(start);
    for (int i = 0; i < limit; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        if (now == nullptr || now == start) {
            break;
        }
        reached.push_back(now);
    }
    return reached;
}

QStringList objectNames(const std::vector<QWidget*>& widgets) {
    QStringList names;
    for (const QWidget* widget : widgets) {
        names << (widget != nullptr ? widget->objectName() : QStringLiteral("(none)"));
    }
    return names;
}

void pressSpace(QWidget* widget) {
    widget->setFocus(Qt::TabFocusReason);
    // Sent where the focus really is: a control that cannot hold it never gets the key.
    QWidget* focused = QApplication::focusWidget();
    if (focused != nullptr) {
        QTest::keyClick(focused, Qt::Key_Space);
    }
}

const char* roleName(QAccessible::Role role) {
    const char* key = QMetaEnum::fromType<QAccessible::Role>().valueToKey(role);
    return key != nullptr ? key : "unknown role";
}

void expectAccessibleControls(QWidget* window, const std::vector<ExpectedControl>& expected) {
    const std::vector<AccessibleNode> tree = accessibleTree(window);
    ASSERT_FALSE(tree.empty()) << "the window has no accessible interface";

    const AccessibleNode& top = tree.front();
    EXPECT_TRUE(top.role == QAccessible::Client || top.role == QAccessible::Window ||
                top.role == QAccessible::Dialog)
        << "window role " << roleName(top.role);
    EXPECT_EQ(top.name.trimmed(), window->windowTitle().trimmed());
    EXPECT_TRUE(nameProblem(top).isEmpty()) << qPrintable(nameProblem(top));

    QMap<QString, AccessibleNode> found;
    for (const AccessibleNode& node : declaredControls(tree)) {
        EXPECT_FALSE(found.contains(node.objectName))
            << "two controls named " << qPrintable(node.objectName);
        found.insert(node.objectName, node);
        const QString problem = nameProblem(node);
        EXPECT_TRUE(problem.isEmpty()) << qPrintable(node.objectName) << " " << qPrintable(problem);
    }

    QStringList expectedNames;
    for (const ExpectedControl& control : expected) {
        expectedNames << control.objectName;
        const auto node = found.constFind(control.objectName);
        if (node == found.constEnd()) {
            ADD_FAILURE() << qPrintable(control.objectName) << " is not in the accessible tree";
            continue;
        }
        EXPECT_EQ(roleName(node->role), std::string(roleName(control.role)))
            << qPrintable(control.objectName);
        EXPECT_EQ(node->name, control.name) << qPrintable(control.objectName);
    }
    QStringList foundNames = found.keys();
    expectedNames.sort();
    foundNames.sort();
    EXPECT_EQ(foundNames.join(QStringLiteral(", ")).toStdString(),
              expectedNames.join(QStringLiteral(", ")).toStdString())
        << "declared controls in the accessible tree";

    for (const AccessibleNode& node : tree) {
        if (node.focusable && node.widget != nullptr && node.widget->focusPolicy() != Qt::NoFocus) {
            EXPECT_FALSE(node.name.trimmed().isEmpty())
                << "a focusable " << roleName(node.role) << " (" << qPrintable(node.objectName)
                << ") has no name";
        }
    }
}

}  // namespace accessibility_test
