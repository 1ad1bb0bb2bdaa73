/* Resources of tasqed.exe itself (everything else comes from the language module). */
#ifndef QUILLON_SCHEDULER_SHELL_IDS_H
#define QUILLON_SCHEDULER_SHELL_IDS_H

#define IDI_SCHEDULER       107 /* window class icon */
#define IDI_SCHEDULER_SMALL 108 /* 16x16: window class and notification area */

#endif
