#pragma once
// The class library's combo and list box styles and the events of their owner drawing. An
// owner-drawn list draws each item itself (OnDrawItem, on the control's canvas, or the control's
// default drawing) in a rectangle of ItemHeight, or of the height OnMeasureItem gives each item in
// the variable style.
#include <QWidget>
#include <functional>

#include "platform/gui/Graphics.h"

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };

// The state of the item being drawn, one bit each; odComboBoxEdit marks the item a closed combo box
// shows.
using TOwnerDrawState = unsigned;
inline constexpr TOwnerDrawState odSelected = 0x1, odDisabled = 0x4, odFocused = 0x10, odComboBoxEdit = 0x1000;

using TDrawItemEvent = std::function<void(QWidget* control, int index, const TRect& rect, TOwnerDrawState state)>;
using TMeasureItemEvent = std::function<void(QWidget* control, int index, int& height)>;
