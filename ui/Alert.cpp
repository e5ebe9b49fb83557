#include "ui/Alert.h"

#include "core/Misc.h"
#include "core/OrvError.h"

#include <Xm/MessageB.h>
#include <Xm/Xm.h>
#include <cctype>
#include <cstring>

int SystemGrabState[2];

namespace
{
constexpr unsigned long kGrabRetryMs = 500;

Widget parent = nullptr;
Widget dialog = nullptr; // the one dialog, shown or waiting for a grab to end
AlertAction okAction = nullptr, cancelAction = nullptr;
void *actionData = nullptr;

// True when the text holds a ':' followed by nothing but blanks.
bool EndsWithColon(const char *text)
{
    const char *colon = std::strrchr(text, ':');
    if (!colon)
        return false;
    for (const char *p = colon + 1; *p; ++p)
        if (!std::isspace(static_cast<unsigned char>(*p)))
            return false;
    return true;
}

void SetString(Widget w, const char *resource, const char *text)
{
    XmString s = XmStringCreateLocalized(const_cast<char *>(text));
    XtVaSetValues(w, resource, s, nullptr);
    XmStringFree(s);
}

// Both buttons close the dialog first, then run their action.
void Answered(Widget, XtPointer which, XtPointer)
{
    AlertAction action = which ? okAction : cancelAction;
    void *data = actionData;
    XtDestroyWidget(XtParent(dialog));
    dialog = nullptr;
    SystemGrabState[1] = 0;
    if (action)
        action(data);
}

void Show(XtPointer, XtIntervalId *)
{
    if (!dialog)
        return;
    if (SystemGrabState[0]) {
        XtAppAddTimeOut(XtWidgetToApplicationContext(dialog), kGrabRetryMs, Show, nullptr);
        return;
    }
    SystemGrabState[1] = 1;
    XtManageChild(dialog);
}
} // namespace

std::string Alert_Message(const char *text, int32_t code)
{
    std::string message = Misc_ProgramName();
    message += " : ";
    bool hasText = text && *text;
    if (hasText)
        message += text;
    if (code) {
        if (hasText)
            message += EndsWithColon(text) ? " " : " : ";
        message += Misc_ErrorNumToString(code);
    }
    return message;
}

void Alert_Initialize(Widget toplevel)
{
    parent = toplevel;
    SystemGrabState[0] = SystemGrabState[1] = 0;
}

void Alert_Prompt(const char *text, int32_t code, AlertAction ok, AlertAction cancel, void *clientData)
{
    if (!parent || dialog)
        return;
    Arg args[5];
    int n = 0;
    XtSetArg(args[n], XmNdialogStyle, XmDIALOG_FULL_APPLICATION_MODAL), ++n;
    XtSetArg(args[n], XmNnoResize, False), ++n;
    XtSetArg(args[n], XmNdefaultPosition, False), ++n;
    XtSetArg(args[n], XmNx, 400), ++n;
    XtSetArg(args[n], XmNy, 200), ++n;
    dialog = XmCreateWarningDialog(parent, const_cast<char *>(""), args, n);
    XtVaSetValues(XtParent(dialog), XmNdeleteResponse, XmDO_NOTHING, nullptr);
    SetString(dialog, XmNdialogTitle, "Warning");
    SetString(dialog, XmNmessageString, Alert_Message(text, code).c_str());
    SetString(dialog, XmNokLabelString, "OK");
    SetString(dialog, XmNcancelLabelString, "CANCEL");
    XtUnmanageChild(XmMessageBoxGetChild(dialog, XmDIALOG_HELP_BUTTON));
    if (!cancel)
        XtUnmanageChild(XmMessageBoxGetChild(dialog, XmDIALOG_CANCEL_BUTTON));
    okAction = ok;
    cancelAction = cancel;
    actionData = clientData;
    XtAddCallback(dialog, XmNokCallback, Answered, reinterpret_cast<XtPointer>(1));
    XtAddCallback(dialog, XmNcancelCallback, Answered, nullptr);
    Show(nullptr, nullptr);
}

void Alert_Warning(const char *text, int32_t code)
{
    if (dialog || !parent) {
        Misc_OpenWarning(text, code);
        return;
    }
    if (code != ORV_CANCEL)
        Alert_Prompt(text, code, nullptr, nullptr, nullptr);
}

void Alert_Error(int32_t code, int severity)
{
    if (severity == 1)
        Misc_Error(code, 1);
    else
        Alert_Warning("", code);
}

void Alert_Erreur(int32_t code, int severity)
{
    Alert_Error(code, severity);
}

Widget Alert_Dialog()
{
    return dialog;
}
