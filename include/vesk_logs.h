/* vesk_logs.h: vesk/transaction_logs.hpp's recovery of a dirty hive behind a few C
   functions, in the companion library libvesk_logs, for hosts that cannot include C++
   (the Python module loads it with ctypes). libvesk_10 itself is not changed: it still
   refuses a dirty hive, and this hands the host a recovered copy to open instead.

   A recovery is made once and then only read: what it did (the report), whether the
   result may miss changes, and the recovered copy, an anonymous in-memory file (Linux's
   memfd_create), sealed, whose descriptor the host takes over and opens as
   /proc/self/fd/N. Nothing is written to the hive or its logs. Elsewhere than on Linux a
   dirty hive gets no copy: vesk_logs_problem() says so. Every text holds the file names
   as given, and is valid until vesk_logs_free(). */
#ifndef VESK_LOGS_H
#define VESK_LOGS_H

#ifdef __cplusplus
extern "C" {
#endif

/* vesk_logs_outcome(): */
#define VESK_LOGS_CLEAN 0            /* nothing applied: open the hive file itself */
#define VESK_LOGS_RECOVERED 1        /* a copy with every change its usable logs hold */
#define VESK_LOGS_PARTLY_RECOVERED 2 /* a copy up to the entry or bin that stopped recovery */
#define VESK_LOGS_NOT_RECOVERED 3    /* no copy: vesk_logs_problem() says why */

typedef struct vesk_logs_recovery vesk_logs_recovery;

/* Recovers the hive at `hive_path` with the logs found beside it (HIVE.LOG, .LOG1,
   .LOG2, any case), or with the `count` files `log_paths` names when count > 0. NULL
   only when memory ran out. */
vesk_logs_recovery* vesk_logs_recover(const char* hive_path, const char* const* log_paths,
                                      int count);
/* One of VESK_LOGS_CLEAN .. VESK_LOGS_NOT_RECOVERED; a recovered copy that could not be
   made in memory counts as not recovered. */
int vesk_logs_outcome(const vesk_logs_recovery* recovery);
/* 1 when the hive needed recovery (its sequence numbers differ, or its checksum is
   wrong), else 0. */
int vesk_logs_dirty(const vesk_logs_recovery* recovery);
/* 1 when what is read may miss changes the logs hold (recovery stopped early, or a log
   with something in it could not be used), else 0. */
int vesk_logs_incomplete(const vesk_logs_recovery* recovery);
/* The recovered copy's descriptor, now the caller's to close; -1 when there is none, or
   when it was taken before. */
int vesk_logs_take_fd(vesk_logs_recovery* recovery);
/* What was read, applied and left, in lines each ending with a newline, as vesk-dump
   --logs says them. */
const char* vesk_logs_report(const vesk_logs_recovery* recovery);
/* Why the hive cannot be read with its logs ("" when it can). */
const char* vesk_logs_problem(const vesk_logs_recovery* recovery);
void vesk_logs_free(vesk_logs_recovery* recovery);

#ifdef __cplusplus
}
#endif

#endif /* VESK_LOGS_H */
