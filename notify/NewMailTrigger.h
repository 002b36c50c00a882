#ifndef KESTRUNE_NEWMAILTRIGGER_H
#define KESTRUNE_NEWMAILTRIGGER_H

// Mails received since the last retrieval end that acted.
extern int NewMailCount;

void CountNewMail();
void RunRetrievalEndAction();

#endif
