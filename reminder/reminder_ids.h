/* Resources of Nagnote.exe itself (everything else comes from the language module). */
#ifndef QUILLON_REMINDER_IDS_H
#define QUILLON_REMINDER_IDS_H

#define IDI_REMINDER 101 /* 32x32 and 16x16: window class, large and small */

#endif
