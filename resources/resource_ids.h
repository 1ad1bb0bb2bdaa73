/*
 * Numeric identifiers of everything the resource module tasq??.dll carries: strings,
 * dialog templates and their controls, menus with their command ids, accelerator
 * tables and icon groups. Every deliverable that loads the module includes this header,
 * and every language's module must carry the same ids.
 *
 * Plain #defines only: the resource compiler reads this file too.
 *
 * Control ids are per dialog: the same number means different controls in different
 * dialogs (1036 is a password edit in the configuration pages and the "at" label of the
 * task editor), so each control has a name prefixed with its dialog. Buttons 1 and 2
 * are the system's IDOK and IDCANCEL.
 */
#ifndef QUILLON_RESOURCES_RESOURCE_IDS_H
#define QUILLON_RESOURCES_RESOURCE_IDS_H

/* ---- Strings ------------------------------------------------------------------- */

#define IDS_APP_CAPTION                 103 /* "Quillon Scheduler": message boxes, main window title */
#define IDS_SCHEDULER_CLASS             109 /* "TASQED": scheduler window class */
#define IDS_ENABLE                      113 /* "Enable" */
#define IDS_DISABLE                     114 /* "Disable" */
#define IDS_CONFIRM_DELETE              115 /* "Delete scheduled item?" */
#define IDS_EVERY                       116 /* "Every " (trailing space) */
#define IDS_MINUTES                     117 /* "minutes"; 117..120 are the unit list in order */
#define IDS_HOURS                       118
#define IDS_DAYS                        119
#define IDS_WEEKS                       120
#define IDS_ON_THE                      121 /* "On the " */
#define IDS_FIRST                       122 /* "first "; 122..127 are the week ordinal list */
#define IDS_SECOND                      123
#define IDS_THIRD                       124
#define IDS_FOURTH                      125
#define IDS_FIFTH                       126
#define IDS_LAST                        127 /* "last " */
#define IDS_SUNDAY                      128 /* "Sunday "; 128..134 Sunday..Saturday */
#define IDS_MONDAY                      129
#define IDS_TUESDAY                     130
#define IDS_WEDNESDAY                   131
#define IDS_THURSDAY                    132
#define IDS_FRIDAY                      133
#define IDS_SATURDAY                    134
#define IDS_DAY                         135 /* "day " */
#define IDS_OF_THE_MONTH                136 /* "of the month" */
#define IDS_AT                          137 /* "at " */
/* Day-of-month ordinals: the ordinal of n (1..31) is string IDS_ORDINAL_BASE + n. */
#define IDS_ORDINAL_BASE                137
#define IDS_ORDINAL_1ST                 138 /* "1st" */
#define IDS_ORDINAL_31ST                168 /* "31st" */
/* List column "title/width" strings of the schedule list (there is no 177). */
#define IDS_COLUMN_DESCRIPTION          169 /* "Description/160" */
#define IDS_COLUMN_SCHEDULE             170 /* "Schedule/80" */
#define IDS_COLUMN_START_DATE           171 /* "Start Date/60" */
#define IDS_COLUMN_START_TIME           172 /* "Start Time/60" */
#define IDS_COLUMN_END_DATE             173 /* "End Date/60" */
#define IDS_COLUMN_END_TIME             174 /* "End Time/60" */
#define IDS_COLUMN_DISABLED             175 /* "Disabled/40" */
#define IDS_COLUMN_EXCEPTIONS           176 /* "Exceptions/60" */
#define IDS_COLUMN_LAST_RUN             178 /* "Last Run/120" */
#define IDS_TOOLS_MENU_ITEM             179 /* "Quillon..." */
#define IDS_YES                         180 /* "Yes" */
#define IDS_NO                          181 /* "No" */
#define IDS_SCHEDULE_FORMAT5            182 /* "%1 %2 %3 %4 %5" */
#define IDS_SCHEDULE_FORMAT6            183 /* "%1 %2 %3 %4 %5 %6" */
#define IDS_TASK_DESCRIPTION_FORMAT     184 /* "Send text from %s" */
#define IDS_TAB_MAIL_SYSTEM             185 /* "Mail System" */
#define IDS_TAB_INTERNET_CONNECTION     186 /* "Internet Connection" */
#define IDS_PASSWORD_MISMATCH           187
#define IDS_NOT_CONFIGURED              188 /* "...  Press OK to configure." */
#define IDS_NOT_CONFIGURED_WILL_NOT_RUN 189
#define IDS_CONFIGURED                  190 /* "Congratulations!  ..." */
#define IDS_CONFIGURATION_TITLE         191 /* "Quillon Configuration" */
#define IDS_SCHEDULE_LIST_TITLE         192 /* "Scheduled Applications" */
#define IDS_SELRANGE_ERROR              193
#define IDS_REMINDER_SUBJECT_LABEL      194 /* "&Subject:" */
#define IDS_REMINDER_MESSAGE_LABEL      195 /* "&Message:" */
#define IDS_REMINDER_TITLE              196 /* "Quillon Reminder": title, class, message box caption */
#define IDS_REMINDER_OVERWRITE          197
#define IDS_REMINDER_FILE_ERROR         198
#define IDS_TAB_ADVANCED                203 /* "Advanced" */
#define IDS_TAB_ERROR_HANDLING          204 /* "Error Handling" */
#define IDS_DIVIDE_QUESTION             205
#define IDS_EXTRACT_ERROR               206 /* "Error accessing web page and extracting text" */

/* ---- Icon groups (32x32 and 16x16, 16 colours) ---------------------------------- */

#define IDI_PRODUCT                     107 /* About boxes 103 and 115 */
#define IDI_TASK                        109 /* schedule list rows, loaded at 16x16 */

/* ---- Menus, accelerator tables and their commands -------------------------------- */

#define IDR_TRAY_MENU                   101 /* scheduler: notification-icon context menu */
#define IDR_SCHEDULER_MENU              109 /* scheduler: main window menu */
#define IDR_REMINDER_MENU               115 /* reminder: window menu */
#define IDR_SCHEDULER_ACCEL             109 /* Alt+"?" and Alt+"/" give IDM_ABOUT */
#define IDR_REMINDER_ACCEL              115 /* Alt+M, Alt+S */

#define IDM_ABOUT                       104
#define IDM_EXIT                        105
#define IDM_VIEW_SCHEDULE               40001
#define IDM_CONFIGURE                   40002
#define IDM_REMINDER_SCHEDULE           40003
#define IDM_FOCUS_MESSAGE               40004 /* reminder, Alt+M */
#define IDM_FOCUS_SUBJECT               1032  /* reminder, Alt+S */

/* ---- Dialog templates and their controls ----------------------------------------- */

/* 103: scheduler About box; 115: reminder About box. */
#define IDD_SCHEDULER_ABOUT             103
#define IDD_REMINDER_ABOUT              115
#define IDC_ABOUT_ICON                  2   /* the icon control carries id 2 */

/* 108: schedule list "Quillon Schedule". */
#define IDD_SCHEDULE_LIST               108
#define IDC_LIST_TASKS                  1028 /* list view, report view */
#define IDC_LIST_DELETE                 1029
#define IDC_LIST_EDIT                   1030
#define IDC_LIST_DISABLE                1031 /* caption toggles between 114 and 113 */
#define IDC_LIST_VIEW                   1032

/* 110: extracted-text preview with the divide option (capture add-in). */
#define IDD_PREVIEW_DIVIDE              110
#define IDC_PREVIEW_TEXT                1032
#define IDC_PREVIEW_DIVIDE              1071

/* 123: extracted-text view (schedule component). */
#define IDD_EXTRACTED_TEXT              123
#define IDC_EXTRACTED_TEXT              1032

/* 111: configuration frame; its pages 112, 113, 120, 122 are child dialogs. */
#define IDD_CONFIGURATION               111
#define IDC_CONFIG_TABS                 1045

/* 112: page "Mail System". */
#define IDD_CONFIG_MAIL                 112
#define IDC_MAIL_SMTP                   1041 /* radio: SMTP mail client */
#define IDC_MAIL_SMTP_SERVER            1050
#define IDC_MAIL_MAPI                   1042 /* radio: MAPI client */
#define IDC_MAIL_PROFILE                1051 /* sorted drop-down list */
#define IDC_MAIL_PASSWORD               1036 /* read-only password edit */
#define IDC_MAIL_CHANGE_PASSWORD        1037
#define IDC_MAIL_SENDER                 1043
#define IDC_MAIL_DESTINATION            1044
#define IDC_MAIL_MAX_LENGTH             1034 /* digits only */

/* 113: page "Internet Connection". */
#define IDD_CONFIG_CONNECTION           113
#define IDC_CONN_DIALUP                 1039 /* radio: use dial-up networking */
#define IDC_CONN_ENTRY                  1052 /* sorted drop-down list of dial-up entries */
#define IDC_CONN_HANGUP_MINUTES         1048 /* digits only */
#define IDC_CONN_ALWAYS                 1040 /* radio: always connected */

/* 120: page "Advanced". */
#define IDD_CONFIG_ADVANCED             120
#define IDC_ADV_POP3                    1053 /* check box: POP3 authentication */
#define IDC_ADV_POP3_SERVER             1054
#define IDC_ADV_POP3_LOGIN              1058
#define IDC_ADV_PASSWORD                1036 /* read-only password edit */
#define IDC_ADV_CHANGE_PASSWORD         1037
#define IDC_ADV_LOG                     1055 /* check box: create log file */
#define IDC_ADV_LOG_FILE                1056
#define IDC_ADV_NO_TITLE                1057 /* check box: do not send page title */

/* 122: page "Error Handling" (digits-only edits). */
#define IDD_CONFIG_ERRORS               122
#define IDC_ERR_TASK_RETRY_COUNT        1070 /* web page: "Try" n "times" */
#define IDC_ERR_TASK_RETRY_TIME         1071 /* web page: "Wait" n "minutes" */
#define IDC_ERR_MAIL_RETRY_COUNT        1072 /* pager: "Try" n "times" */
#define IDC_ERR_MAIL_RETRY_TIME         1073 /* pager: "Wait" n "minutes" */

/* 114: "Change Password". */
#define IDD_CHANGE_PASSWORD             114
#define IDC_PASSWORD_NEW                1036
#define IDC_PASSWORD_AGAIN              1046

/* 117: reminder introduction. */
#define IDD_REMINDER_INTRO              117
#define IDC_INTRO_DONT_SHOW             1049

/* 121: task editor. */
#define IDD_TASK_EDITOR                 121
#define IDC_TASK_EVERY                  1003 /* radio: "Every" (types 1-4) */
#define IDC_TASK_INTERVAL               1006 /* digits only, at most 5 characters */
#define IDC_TASK_UNIT                   1007 /* drop-down: minutes, hours, days, weeks */
#define IDC_TASK_ALL_DAY                1066 /* radio: "24 hours a day" */
#define IDC_TASK_WINDOW                 1065 /* radio: "From" (daily window) */
#define IDC_TASK_WINDOW_FROM            1037 /* time picker */
#define IDC_TASK_WINDOW_TO_LABEL        1069 /* "to" */
#define IDC_TASK_WINDOW_TO              1038 /* time picker */
#define IDC_TASK_EVERY_AT_LABEL         1013 /* "at" */
#define IDC_TASK_EVERY_AT               1033 /* time picker, types 3 and 4 */
#define IDC_TASK_WEEKDAY_ROW            1005 /* radio: "On the" (types 6-11) */
#define IDC_TASK_WEEK_ORDINAL           1010 /* drop-down: first .. last */
#define IDC_TASK_WEEKDAY                1011 /* drop-down: Sunday .. Saturday */
#define IDC_TASK_WEEKDAY_AT_LABEL       1036 /* "at" */
#define IDC_TASK_WEEKDAY_AT             1039 /* time picker */
#define IDC_TASK_DAY_ROW                1004 /* radio: "On the" (types 5 and 12) */
#define IDC_TASK_DAY_OF_MONTH           1012 /* drop-down: 1st .. 31st, last */
#define IDC_TASK_DAY_AT_LABEL           1009 /* "at" */
#define IDC_TASK_DAY_AT                 1008 /* time picker */
#define IDC_TASK_FOREVER                1064 /* radio: "Starting now and continuing" */
#define IDC_TASK_DATE_RANGE             1063 /* radio: "From" (date range) */
#define IDC_TASK_START_DATE             1034 /* date picker */
#define IDC_TASK_END_DATE               1035 /* date picker */
#define IDC_TASK_MONTH_JAN              1021 /* check boxes 1021..1032: Jan..Dec */
#define IDC_TASK_MONTH_DEC              1032
#define IDC_TASK_DAY_SUNDAY             1014 /* check boxes 1014..1020: Sunday..Saturday */
#define IDC_TASK_DAY_SATURDAY           1020

/* ---- Change watch of page tasks ---- */
#define IDS_COLUMN_SEND_IF_CHANGED      320 /* "If Changed/60": schedule list, last column */
#define IDC_TASK_SEND_IF_CHANGED        1320 /* task editor: check box "Send only when the text has changed" */

/* ---- Outgoing Server page of the configuration dialog (ids 300-319, 1300-1319) ---- */
#define IDD_CONFIG_OUTGOING             300
#define IDS_TAB_OUTGOING_SERVER         301 /* "Outgoing Server" */
#define IDC_OUT_PORT                    1300 /* digits; empty: the standard SMTP port */
#define IDC_OUT_SECURITY_NONE           1301 /* radio */
#define IDC_OUT_SECURITY_STARTTLS       1302 /* radio */
#define IDC_OUT_SECURITY_TLS            1303 /* radio */
#define IDC_OUT_LOGIN                   1304 /* sign-in user name */
#define IDC_OUT_PASSWORD                1305 /* read-only password edit (shared Password) */
#define IDC_OUT_CHANGE_PASSWORD         1306 /* opens IDD_CHANGE_PASSWORD */
#define IDC_OUT_PASSWORD_NOTE           1307 /* says the password is shared with POP3 */
#define IDC_OUT_SIGN_IN_NOTE            1308 /* says sign-in needs STARTTLS or TLS */

/* ---- Push notification: the Mail System page's third option and the Push
        Notification page of the configuration dialog (strings 360-379, dialogs 315-319,
        controls 1360-1379) ---- */
#define IDD_CONFIG_PUSH                 315
#define IDC_MAIL_PUSH                   1360 /* Mail System page: radio "Push notification" */
#define IDC_PUSH_SERVICE                1361 /* drop-down list, entries in PushService order */
#define IDC_PUSH_SERVER                 1362 /* PushServer */
#define IDC_PUSH_TARGET                 1363 /* PushTarget */
#define IDC_PUSH_SECRET                 1364 /* password edit: PushSecret */
#define IDC_PUSH_SEND_TEST              1365 /* sends one notification with the page's values */
#define IDC_PUSH_NOTE                   1366 /* what the fields mean */
#define IDC_PUSH_CANCEL_TEST            1367 /* enabled while Send Test waits */
#define IDC_PUSH_RESULT                 1369 /* what the service answered */
#define IDC_PUSH_HTTP_WARNING           1370 /* shown while the server is an http:// URL */
#define IDS_TAB_PUSH                    360 /* "Push Notification" */
#define IDS_PUSH_SERVICE_FIRST          361 /* 361..367: the service names, PushService 1..7 */
#define IDS_PUSH_SERVICE_LAST           367
#define IDS_PUSH_SENDING                368 /* "Sending a test notification..." */
#define IDS_PUSH_DELIVERED              369 /* "Delivered: %s" */
#define IDS_PUSH_NOT_DELIVERED          370 /* "Not delivered: %s" */
#define IDS_PUSH_TEST_CANCELLED         371 /* "Test cancelled." */
#define IDS_PUSH_TEST_SUBJECT           372 /* subject of the test notification */
#define IDS_PUSH_TEST_BODY              373 /* text of the test notification */

/* ---- Capture add-in (330-339 strings, 1330-1339 controls) ---------------------- */
#define IDS_CAPTURE_NO_SCHEDULER        330 /* the schedule component could not be created */

/* ---- Page capture from today's browsers and "Watch a page..." (340-359 strings,
        310-314 dialogs, 1340-1359 controls, 40010-40019 menu commands) ---------------- */
#define IDS_CAPTURE_FRAME_UNREADABLE    340 /* selection in a frame from another site: whole page? */
#define IDS_CAPTURE_NOT_IN_PAGE         341 /* the extraction is not the selection: whole page? */
#define IDS_CAPTURE_SCHEDULED           342 /* reply to the browser: "%s" is the task description */
#define IDS_CAPTURE_CANCELLED           343 /* reply to the browser: nothing scheduled */
#define IDS_CAPTURE_BAD_REQUEST         344 /* "%s": what was wrong with the browser's message */
#define IDS_CAPTURE_WRONG_CALLER        345 /* "%s": the caller that was refused */
#define IDS_CAPTURE_NOT_STORED          346 /* the task's page values could not be written */
#define IDS_WATCH_BAD_ADDRESS           347 /* "Watch a page...": the address is not usable */
#define IDD_WATCH_PAGE                  310 /* "Watch a Page": address box, OK, Cancel */
#define IDC_WATCH_ADDRESS               1340 /* edit: http, https address or a file path */
#define IDM_WATCH_PAGE                  40010 /* tray menu: "&Watch a page..." */

#endif /* QUILLON_RESOURCES_RESOURCE_IDS_H */
