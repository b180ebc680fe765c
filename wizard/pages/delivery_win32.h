// What the pages call to hand out the link message: a copy on the clipboard,
// or a delivery run with the wizard's windows as its contacts.
#pragma once

// The link message of WizardSession's message text and typedHostName as
// CF_UNICODETEXT, CF_TEXT and CF_LOCALE on the clipboard, opened for WizardSession.activePageWindow: 0, or
// -1 when it is not there.
int CopyLinkMessage(const char* typedHostName);

// StartDeliveryRunWith (delivery_run.h) with the messages and boxes of the
// wizard's windows. Call it on the pages' thread.
bool StartDeliveryRun();
