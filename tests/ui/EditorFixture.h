// The main window with the XML element window open over two loaded documents: the
// fixture of the editor tests, with the helpers that read an editor back.
#pragma once

#include <windows.h>

#include <richedit.h>

#include <string>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/TreeViews.h"
#include "ui/editor/ContentWindow.h"

class EditorFixture : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        syncEditorWithTree = 1;
        syncTreeWithEditor = 1;
        start();
    }

    // Selects the element in its tree as a user does, then F3.
    static void openAt(XMLTreeItem* element) {
        ASSERT_NE(element, nullptr);
        ElementStore::select(element->treeView, element->treeItem);
        SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);
        pump();
    }

    static void click(HWND control) {
        SendMessageW(contentPane.window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(control));
        pump();
    }

    static std::wstring text(HWND editor) {
        GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
        const LRESULT units = SendMessageW(editor, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
        std::wstring out(static_cast<size_t>(units) + 1, 0);
        TEXTRANGEW range{{0, static_cast<LONG>(units)}, &out[0]};
        SendMessageW(editor, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
        out.resize(static_cast<size_t>(units));
        return out;
    }

    static CHARRANGE selection(HWND editor) {
        CHARRANGE range{};
        SendMessageW(editor, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        return range;
    }

    static void select(HWND editor, LONG start, LONG end) {
        CHARRANGE range{start, end};
        SendMessageW(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        pump();
    }

    static int firstVisibleLine(HWND editor) {
        return static_cast<int>(SendMessageW(editor, EM_GETFIRSTVISIBLELINE, 0, 0));
    }

    static bool visible(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }
};
