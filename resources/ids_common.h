#pragma once
// Resource ids: common to every window

// The pointing-hand cursor a hovered link label shows (hot spot at the fingertip).
#define IDC_CURSOR_HAND 139
