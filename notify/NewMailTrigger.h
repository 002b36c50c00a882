#ifndef KESTRUNE_NEWMAILTRIGGER_H
#define KESTRUNE_NEWMAILTRIGGER_H

// One mail received by the host.
void CountNewMail();
// The end of a retrieval: when mail was counted since the last end that acted, opens the
// trays the settings name, then starts the count afresh whatever that achieved. Nothing is
// raised out of it, out-of-memory included.
void EndRetrieval();

#endif
