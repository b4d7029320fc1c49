#pragma once

#include <QAccessible>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

namespace accessibility_test {

// One node of a window's accessible tree, read back through QAccessibleInterface.
struct AccessibleNode {
    QWidget* widget = nullptr;  // the widget behind the node, or null
    QString objectName;
    QAccessible::Role role = QAccessible::NoRole;
    QString name;
    QString description;
    bool focusable = false;
    int depth = 0;
};

// Every node under the window, the window first, depth first in child order.
std::vector<AccessibleNode> accessibleTree(QWidget* window);

// The nodes of the controls the window itself declares: widgets with an object name of
// their own (Qt's internal parts are named "qt_..." or not at all).
std::vector<AccessibleNode> declaredControls(const std::vector<AccessibleNode>& tree);

// What is wrong with a node's name for a screen-reader user, or empty when it is fine:
// no name, or a name that is only the object name or looks like one ("Text1(3)").
QString nameProblem(const AccessibleNode& node);

// Shows the window, makes it active and gives `first` the focus.
void activate(QWidget* window, QWidget* first);

// Presses Tab on the focused widget until the focus comes back to where it started (or
// `limit` presses); returns every widget that had the focus, the starting one first.
std::vector<QWidget*> tabWalk(int limit);

// Object names of widgets, for readable failure messages.
QStringList objectNames(const std::vector<QWidget*>& widgets);

// Moves the focus to the widget and presses Space on whatever then has the focus.
void pressSpace(QWidget* widget);

const char* roleName(QAccessible::Role role);

// A control as a screen-reader user should meet it.
struct ExpectedControl {
    QString objectName;
    QAccessible::Role role;
    QString name;
};

// Walks the window's accessible tree and checks, with test expectations: the window is a
// window with its caption as name; every declared control is named sensibly; the declared
// controls are exactly `expected`, each with its role and name; and nothing that takes the
// focus, Qt's own parts included, is nameless.
void expectAccessibleControls(QWidget* window, const std::vector<ExpectedControl>& expected);

}  // namespace accessibility_test
