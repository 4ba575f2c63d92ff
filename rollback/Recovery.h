// Taking back, at the start of the program, the runs whose process was killed: their
// journals are still in the journal folder (JournalFolder.h), written ahead of every change
// they made.
#pragma once

class CInstallHost;

// Rolls back the run of every journal in the journal folder whose process is gone,
// exactly as a failed run is rolled back: its undo lines, then its backups newest first;
// then its journal is deleted. A journal still open or whose process still runs is left
// alone; while one is there, nothing else is touched either. Otherwise the empty files a
// killed run left holding backup names are deleted too. host answers what the undo lines
// ask. Reads nothing when the folder is refused, and no journal elsewhere; the log says why
// for each. Returns the number of runs rolled back; never throws.
int RecoverKilledRuns(CInstallHost& host);
