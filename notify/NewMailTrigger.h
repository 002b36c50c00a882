#ifndef KESTRUNE_NEWMAILTRIGGER_H
#define KESTRUNE_NEWMAILTRIGGER_H

// One mail received by the host.
void CountNewMail();
// The end of a retrieval: takes the mail counted so far, starting the count afresh, and when
// there was any opens the trays the settings name. Returns once they have moved. Nothing is
// raised out of it, out-of-memory included. Any host thread may call either function.
void EndRetrieval();

#endif
