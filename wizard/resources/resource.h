// Resource ids of pathcaster: read by the resource compiler and by the
// wizard's C++ code alike, so plain #defines only.
#ifndef PATHCASTER_RESOURCE_H
#define PATHCASTER_RESOURCE_H

// Dialog templates: the five wizard pages and the recipient dialog.
#define IDD_WELCOME 101
#define IDD_DETECTION 102
#define IDD_CHOICE 103
#define IDD_SENDING 105
#define IDD_MAIL_SETTINGS 106
#define IDD_RECIPIENT 108
#define IDD_SUBMISSION 109

// Images.
#define IDI_WIZARD 104
#define IDB_HEADER 112
#define IDB_WATERMARK 116

// Controls of the detection page (102).
#define IDC_REPORT 1000
#define IDC_DETECT_BUTTON 1002
#define IDC_DETECT_STATUS 1009

// Controls of the host name choice page (103).
#define IDC_CANDIDATE_LIST 1006
#define IDC_TYPED_HOST 1007
#define IDC_SEND 1008
#define IDC_MESSAGE 1021
#define IDC_COPY 1022
#define IDC_SEND_HINT 1028
#define IDC_COPY_HINT 1029
#define IDC_NEXT_HINT 1030

// Controls of the mail settings page (106).
#define IDC_SENDER_ADDRESS 1013
#define IDC_MAIL_SERVER 1014
#define IDC_RECIPIENT_LIST 1015
#define IDC_ADD_RECIPIENT 1016
#define IDC_MODIFY_RECIPIENT 1017
#define IDC_DELETE_RECIPIENT 1018
#define IDC_SUBMISSION_SETTINGS 1049

// Controls of the recipient dialog (108); OK and Cancel are IDOK and IDCANCEL.
#define IDC_RECIPIENT_NAME 1019
#define IDC_RECIPIENT_ADDRESS 1020

// Controls of the mail server dialog (109); OK and Cancel are IDOK and
// IDCANCEL.
#define IDC_SMTP_PORT 1040
#define IDC_SECURITY_NONE 1041
#define IDC_SECURITY_STARTTLS 1042
#define IDC_SECURITY_TLS 1043
#define IDC_SMTP_AUTH 1044
#define IDC_SMTP_USER 1045
#define IDC_SMTP_PASSWORD 1046
#define IDC_PASSWORD_STORED 1047
#define IDC_CLEAR_PASSWORD_WARNING 1048

// Controls of the sending page (105).
#define IDC_CLOSING_HINT 1011
#define IDC_SEND_STATE 1024
#define IDC_ABORT_SEND 1027

// Captions of the templates' own static texts, which the code never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// String table.
#define IDS_REDETECT 3
#define IDS_CANCEL_DETECT 4
#define IDS_DETECT_DONE 5
#define IDS_DETECT_CANCELLED 6
#define IDS_SEND_FAILED 8
#define IDS_TITLE_DETECTION 10
#define IDS_TITLE_CHOICE 11
#define IDS_TITLE_DONE 12
#define IDS_ACCESS_HINT_HEAD 13
#define IDS_ACCESS_HINT_TAIL 14
#define IDS_TITLE_MAIL 15
#define IDS_LINK_PREFIX 16
#define IDS_DETECTING 17
#define IDS_TITLE_ADD_RECIPIENT 19
#define IDS_TITLE_MODIFY_RECIPIENT 20
#define IDS_DUPLICATE_NAME 21
#define IDS_COPY_DONE 22
#define IDS_COPY_FAILED 23
#define IDS_CONFIRM_SEND 24
#define IDS_ADDRESS_NOTE 25
#define IDS_SOME_SENDS_FAILED 26
#define IDS_SEND_COMPLETE 27
#define IDS_SEND_CAPTION 28
#define IDS_ABORT_SEND_CAPTION 29
#define IDS_SENDING 31
#define IDS_WIZARD_TITLE 32
#define IDS_SEND_HINT 33
#define IDS_SETTINGS_NEEDED 35
#define IDS_SETTINGS_CHANGE 36
#define IDS_NOT_INSTALLED 37
#define IDS_NOT_SENT 38
#define IDS_RECIPIENT_NOT_SAVED 39
#define IDS_SETTING_NOT_KEPT 40
#define IDS_NOT_MAILABLE 41
// Why a recipient's mail failed, after string 8 in its box.
#define IDS_CAUSE_UNREACHABLE 42
#define IDS_CAUSE_CERTIFICATE 43
#define IDS_CAUSE_LOGIN_REFUSED 44
#define IDS_CAUSE_NO_ENCRYPTION 45
#define IDS_CAUSE_NO_LOGIN_METHOD 46
#define IDS_CAUSE_CLEAR_PASSWORD 47

#endif
