/* User interface: the status window (progress text, questions, messages,
   cancelling), the dialog window that runs a tool's job on a worker thread,
   and the overwrite and duplicate-name prompts.

   Two fronts sit behind these calls and are chosen when StatusInit or
   VEXDialogInit runs: a GTK 3 front, loaded at run time from the module
   libvexutil-gtk.so when a display is present, and a terminal front (stderr
   and the controlling terminal) otherwise. VEXUTIL_UI=gtk or
   VEXUTIL_UI=terminal forces one. The module is looked for at
   VEXUTIL_UI_MODULE (a full file name), then in the folder of the code
   that holds the library, then in the library folder fixed at build time;
   without it the terminal front serves alone. The GTK front has no thread
   of its own: its windows are pumped inside these calls, on the caller's
   thread. When the X display goes away the windows go on in the terminal.

   Ctrl-C, hang-up and termination while the status window is open go
   through the cancel question, or cancel at once when nobody can answer;
   during a dialog they are its close box (Ctrl-C) or the end of the
   session (the others). The handlers are installed only while a window is
   open.

   Windows are VEXWND handles: opaque pointers of this library, not X11 or
   GTK objects. The status window and the dialog are VEXWNDs, and so is an
   owner window that a tool makes with VEXWindowCreate: its callback receives
   what a window receives (the final status text by CopyData, the notice
   VEXWM_STATUS_RESTORED), and VEXWindowSetNative may tie it to the tool's
   own GtkWindow so that boxes and the dialog sit over that window.

   Texts are UTF-8. The status and information lines hold 95 bytes and are
   cut at a character boundary when longer.

   Threads: the user interface is the process's, not a thread's: one front
   (chosen and loaded under a lock, the GTK module at most once), one
   status window, one dialog at a time, and the signal handlers while a
   window is open. What that means for callers:
   - The status window's calls take turns on one lock, so calls from two
     threads never corrupt it; but GTK may only be touched by the thread
     that opened the window, so with the GTK front every status call comes
     from that thread (with the terminal front a call from another thread
     waits for its turn). The cancel procedure runs while the window is
     held: it must not wait for a thread that is waiting to call a status
     function.
   - A dialog runs on the thread that called VEXDialogInit; its worker on a
     second. The calls marked "either thread" may come from both; a box
     asked on any other thread while a GTK dialog runs goes to the
     terminal.
   - The status window and a dialog share the front: a program does not
     drive both from two threads at once.
   - VEXWND handles may be created, destroyed and sent to from any thread
     (a send runs the callback on the sending thread); VEXUIFrontName may
     run anywhere.
   The readers and writers never use the interface on their own; only
   OGFileCreate's overwrite question and codec list do (vexutil/ogfile.h). */
#ifndef VEXUTIL_UI_H
#define VEXUTIL_UI_H

#include "vexutil/api.h"

VEX_EXTERN_C_BEGIN

typedef struct VEXWINDOW *VEXWND;

/* A window's callback: message number, two parameters, the value given to
   VEXWindowCreate. Its result is what VEXWindowSend and CopyData return. */
typedef intptr_t (*VEXWNDPROC)(VEXWND window, uint32_t message, uintptr_t wparam, intptr_t lparam, void *user);

#define VEXWM_COPYDATA 0x004A        /* lparam: const VEXCOPYDATA * */
#define VEXWM_STATUS_RESTORED 0x0900 /* the status window was restored from its icon */
#define VEXWM_WORKER_ENDED 0x8C88    /* private: the dialog's worker returned */
#define VEXSTATUS_FINAL_TEXT 0x1234  /* VEXCOPYDATA.data of StatusClose's final text */

typedef struct VEXCOPYDATA {
  uintptr_t data;      /* the sender's data word */
  uint32_t length;     /* bytes at pointer */
  const void *pointer; /* valid only during the call */
} VEXCOPYDATA;

/* The tool's resources (what a module instance holds on other systems). Any
   field may be null. dialog_template is GtkBuilder XML whose top-level
   object has the id "VEXDialog" (a GtkWindow or GtkDialog); a GtkButton with
   the id "control-N" sends command N, and "control-2" is the Cancel button
   that turns into Done. template_length < 0: the text ends with a zero.
   The icons are themed icon names or image file paths: status_icon for the
   status window, dialog_icon for the dialog. The status window's X window
   role is "VEXSTATUS" followed by four letters made from the instance's
   address. */
typedef struct VEXINSTANCE {
  const char *dialog_template;
  int32_t template_length;
  const char *status_icon;
  const char *dialog_icon;
} VEXINSTANCE;

/* Owner windows of the tool. VEXWindowCreate gives null only when memory is
   short; proc may be null (messages are then answered 0). Destroying a
   window makes every later send to it answer 0. gtk_window is a GtkWindow*
   of the tool, or null. */
VEX_API VEXWND VEXWindowCreate(VEXWNDPROC proc, void *user);
VEX_API void VEXWindowDestroy(VEXWND window);
VEX_API void VEXWindowSetNative(VEXWND window, void *gtk_window);
/* Calls the window's callback on the calling thread; 0 for a null or
   destroyed window or one without a callback. */
VEX_API intptr_t VEXWindowSend(VEXWND window, uint32_t message, uintptr_t wparam, intptr_t lparam);
/* Sends VEXWM_COPYDATA with a VEXCOPYDATA {data, length, pointer}; returns
   the receiver's answer. */
VEX_API intptr_t CopyData(VEXWND window, uintptr_t wparam, uintptr_t data, uint32_t length, const void *pointer);
/* "gtk" or "terminal": the front the last StatusInit or VEXDialogInit chose
   ("none" before either). */
VEX_API const char *VEXUIFrontName(void);
/* For a tool that was asked for windows (a --gui switch): makes the GTK
   front the one every later StatusInit and VEXDialogInit chooses, whatever
   VEXUTIL_UI says. 1 when it is; 0 when no window can be opened, with
   VEXLastError() saying why (no display named, the module missing or
   failing to load, the display refusing the connection), the choice then
   left as it was. A tool should stop then rather than go on in the
   terminal unasked. */
VEX_API int32_t VEXUIOpenWindows(void);

/* ---- Status window: one per process; calls on the thread that opened it
   (see Threads above). */

typedef void (*VEXCANCELPROC)(void);

/* no_wait (low byte): StatusClose never waits for Done. */
VEX_API void StatusInit(const VEXINSTANCE *instance, VEXWND owner, uint8_t no_wait);
/* Opens the window hidden with the status "Loading..."; it shows at the
   first StatusSet. cancel runs once, when the user confirms cancelling.
   1 when the window exists, 0 on failure. */
VEX_API int32_t StatusOpen(const char *caption, const char *info, VEXCANCELPROC cancel);
/* Each returns 1 when the window went away while pumping, else 0. */
VEX_API int32_t StatusSet(const char *text);
VEX_API int32_t StatusCheck(void);
VEX_API int32_t StatusMessage(const char *text, int32_t error);
VEX_API int32_t StatusMessageTitle(const char *text, const char *title, uint8_t error);
/* Yes/No question; the status line keeps it with " Yes." or " No." added.
   1 Yes, 0 No. Without a person to answer, the default is taken at once. */
VEX_API uint8_t StatusAsk(const char *question, uint8_t default_no);
/* Asks "Do you want to cancel?" unless already cancelled; 1 once cancelled. */
VEX_API uint8_t StatusDoCancel(void);
/* The status window when it is shown, else the owner window (maybe null). */
VEX_API VEXWND StatusGetHWND(void);
/* Hands the final text ("caption - information\r\n  status") to the owner
   by CopyData (data VEXSTATUS_FINAL_TEXT, the status window as wparam),
   then closes; with wait non-zero (and
   no_wait clear, the window shown) Cancel turns into Done and the call
   returns once the user pressed it. Harmless without a window. */
VEX_API void StatusClose(int32_t wait);

/* ---- Dialog window: a tool's job on a worker thread behind its own dialog. */

/* The job: 0 leaves the dialog open with "Done" for the user, non-zero
   closes it by itself. Runs on a second thread. */
typedef int32_t (*VEXWORKERPROC)(intptr_t value, VEXWND dialog);
/* A command (button "control-N", 2 for Escape and the close box while the
   job runs): 0 lets the dialog close, non-zero keeps it. */
typedef int32_t (*VEXCOMMANDPROC)(int32_t command, VEXWND dialog);
typedef void (*VEXTIMERPROC)(VEXWND dialog);

/* show: 0 hidden, 2, 6 or 7 minimized, 3 maximized, anything else normal.
   Returns the worker's result (1 when the dialog closed before the worker
   returned), or 0 when the dialog cannot be created. */
VEX_API int32_t VEXDialogInit(const VEXINSTANCE *instance, VEXWND owner, intptr_t value, int32_t show,
                              uint8_t auto_close, VEXWORKERPROC worker, VEXCOMMANDPROC handler);
/* Either thread. Yes/No, or Yes/No/Cancel when (flags & ~31) == 32; default
   button: the second when (flags & 31) == 0, the third when 2, else the
   first. 1 Yes, 0 No, 2 Cancel or anything else. */
VEX_API int32_t VEXDialogAsk(const char *question, int32_t flags);
/* OK, or OK/Cancel when (flags & ~31) == 32 (Cancel the default when
   (flags & 31) == 2). 0 OK, 2 anything else. */
VEX_API int32_t VEXDialogMessage(const char *text, int32_t flags);
/* Calls callback(dialog) every ms milliseconds on the dialog's thread.
   1 (the timer's number), or 0 without a dialog or with ms 0. */
VEX_API uint32_t VEXDialogSetTimer(VEXTIMERPROC callback, uint32_t ms);
/* Either thread: sets the text of the template object "control-N" (label,
   entry, button, or progress bar, whose fraction comes from a "(42%)" in
   the text). 1 done, 0 no such control or no dialog. */
VEX_API int32_t VEXDialogSetItemText(VEXWND dialog, int32_t control, const char *text);

/* ---- Prompts before writing. */

/* 1 when name may be written: it does not exist (or cannot be read), or the
   user said Yes to "File NAME exists, overwrite?" (asked in the dialog when
   use_dialog is non-zero, else in the status window). The question takes at
   most 99 bytes: a long name loses its middle ("...") so that its start and
   end remain. A name too long for the file layer is still checked, so it is
   never taken as absent. */
VEX_API uint8_t overwrite(const char *name, int32_t use_dialog);
/* 1 when the two names are different files; 0 (after the message "Output
   filename must be different than the input filename.") when they are the
   same file: the same device and inode (hard and symbolic links, "./x" and
   the full path), or, for files not there yet, the same full path. Letter
   case counts, as it does in Linux file names: "a.flc" and "A.flc" are two
   files. Names longer than the path buffers are compared whole. */
VEX_API uint8_t CheckForDup(const char *input, const char *output);

VEX_EXTERN_C_END

#endif
