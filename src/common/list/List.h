// List.h - doubly linked list of owned items with an embedded walk cursor.
// A zeroed List is an empty appending list. Items and links come from GetMem and
// belong to the list; an item popped without release belongs to the caller (PutMem).
// One walk per list at a time (the cursor lives in the header). Releasing the item a
// walk just returned is fine; removing the link the walk would return next ends it.
// ListDump prints "%3i) %li\n": position and the first 32-bit word of each item.
#pragma once
#include <cstdint>

struct ListLink {
    ListLink *pPrev;
    ListLink *pNext;
    void *pItem;
    int32_t ItemSize;
};

struct List {
    ListLink *pFirst;
    ListLink *pLast;
    ListLink *pWalk;
    int32_t Count;
    int32_t TotalSize;
    char flPushFront;  // 1: push at the front
};

List *ListCreate();
void *ListPushItem(List *list, const void *data, int size);
void ListPushLink(List *list, ListLink *link);
void ListPopLink(List *list, ListLink *link);
void *ListPopItem(List *list, void *item, int release);
void *ListPopFirstItem(List *list, int release);
void *ListPopLastItem(List *list, int release);
void *ListFindItemN(List *list, int n);
int ListGetItemPos(List *list, const void *item);
void ListMoveItem(void *item, List *source, List *target);
void ListCopy(List *source, List *target);
void ListDelAllItems(List *list);
void ListDel(List *list);
void *ListWalk(List *list, int cont);
void *ListWalkBackward(List *list, int cont);
void ListDump(List *list);
