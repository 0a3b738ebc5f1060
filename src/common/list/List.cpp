// List.cpp - doubly linked list of owned items with an embedded walk cursor.
#include "List.h"

#include <cstdio>
#include <cstring>

#include "MemMgr.h"

namespace {

// Items are identified by their address: the first link from the front wins.
ListLink *FindLink(const List *list, const void *item) {
    for (ListLink *l = list->pFirst; l; l = l->pNext)
        if (l->pItem == item)
            return l;
    return nullptr;
}

bool IsEmpty(const List *list) {
    return !list || list->Count == 0 || !list->pFirst || !list->pLast;
}

// Unlinks and releases the link; the item is released too, or handed back.
void *DropLink(List *list, ListLink *link, int release) {
    ListPopLink(list, link);
    void *item = link->pItem;
    PutMem(link);
    if (release) {
        PutMem(item);
        return nullptr;
    }
    return item;
}

}  // namespace

List *ListCreate() {
    return static_cast<List *>(GetMem(sizeof(List)));
}

void *ListPushItem(List *list, const void *data, int size) {
    if (!list || size <= 0)
        return nullptr;
    auto *link = static_cast<ListLink *>(GetMem(sizeof(ListLink)));
    if (!link)
        return nullptr;
    void *item = GetMem(size);
    if (!item) {
        PutMem(link);
        return nullptr;
    }
    if (data)
        std::memcpy(item, data, static_cast<size_t>(size));
    link->pItem = item;
    link->ItemSize = size;
    ListPushLink(list, link);
    return item;
}

void ListPushLink(List *list, ListLink *link) {
    if (!list || !link)
        return;
    if (IsEmpty(list)) {
        link->pPrev = link->pNext = nullptr;
        list->pFirst = list->pLast = link;
        list->Count = 1;
    } else if (list->flPushFront) {
        link->pPrev = nullptr;
        link->pNext = list->pFirst;
        list->pFirst->pPrev = link;
        list->pFirst = link;
        ++list->Count;
    } else {
        link->pNext = nullptr;
        link->pPrev = list->pLast;
        list->pLast->pNext = link;
        list->pLast = link;
        ++list->Count;
    }
    list->TotalSize += link->ItemSize;
}

// The link must belong to the list. Its own pPrev/pNext are left as they were.
void ListPopLink(List *list, ListLink *link) {
    if (IsEmpty(list))
        return;
    if (!link)
        link = list->pFirst;
    // A walk standing on the removed link would later follow a released link;
    // it ends instead.
    if (list->pWalk == link)
        list->pWalk = nullptr;
    --list->Count;
    list->TotalSize -= link->ItemSize;
    if (list->Count <= 0) {
        list->Count = 0;
        list->pFirst = list->pLast = list->pWalk = nullptr;
        return;
    }
    if (link == list->pFirst) {
        list->pFirst = link->pNext;
        list->pFirst->pPrev = nullptr;
    } else if (link == list->pLast) {
        list->pLast = link->pPrev;
        list->pLast->pNext = nullptr;
    } else {
        link->pPrev->pNext = link->pNext;
        link->pNext->pPrev = link->pPrev;
    }
}

void *ListPopItem(List *list, void *item, int release) {
    if (IsEmpty(list))
        return nullptr;
    ListLink *link = item ? FindLink(list, item) : list->pFirst;
    if (!link)
        return nullptr;
    return DropLink(list, link, release);
}

void *ListPopFirstItem(List *list, int release) {
    if (IsEmpty(list))
        return nullptr;
    return DropLink(list, list->pFirst, release);
}

void *ListPopLastItem(List *list, int release) {
    if (IsEmpty(list))
        return nullptr;
    return DropLink(list, list->pLast, release);
}

void *ListFindItemN(List *list, int n) {
    if (!list || n < 1 || n > list->Count)
        return nullptr;
    ListLink *l = list->pFirst;
    for (int i = 1; l && i < n; ++i)
        l = l->pNext;
    return l ? l->pItem : nullptr;
}

int ListGetItemPos(List *list, const void *item) {
    if (!list || !item)
        return 0;
    int pos = 1;
    for (ListLink *l = list->pFirst; l; l = l->pNext, ++pos)
        if (l->pItem == item)
            return pos;
    return 0;
}

void ListMoveItem(void *item, List *source, List *target) {
    if (!item || !target || IsEmpty(source))
        return;
    ListLink *link = FindLink(source, item);
    if (!link)
        return;
    ListPopLink(source, link);
    ListPushLink(target, link);
}

// Follows the links rather than the source's walk cursor, so a walk under way on
// the source is not disturbed, and copies only the links present at the start,
// so copying a list onto itself ends.
void ListCopy(List *source, List *target) {
    if (!source || !target)
        return;
    ListLink *l = source->pFirst;
    for (int n = source->Count; l && n > 0; --n) {
        ListLink *next = l->pNext;
        ListPushItem(target, l->pItem, l->ItemSize);
        l = next;
    }
}

void ListDelAllItems(List *list) {
    if (!list)
        return;
    ListLink *l = list->pFirst;
    while (l) {
        ListLink *next = l->pNext;
        PutMem(l->pItem);
        PutMem(l);
        l = next;
    }
    list->pFirst = list->pLast = list->pWalk = nullptr;
    list->Count = 0;
    list->TotalSize = 0;
}

// PutMem ignores addresses it did not hand out, so an embedded header is emptied
// and otherwise left alone.
void ListDel(List *list) {
    if (!list)
        return;
    ListDelAllItems(list);
    PutMem(list);
}

void *ListWalk(List *list, int cont) {
    if (!list)
        return nullptr;
    if (!cont)
        list->pWalk = list->pFirst;
    ListLink *l = list->pWalk;
    if (!l)
        return nullptr;
    list->pWalk = l->pNext;
    return l->pItem;
}

void *ListWalkBackward(List *list, int cont) {
    if (!list)
        return nullptr;
    if (!cont)
        list->pWalk = list->pLast;
    ListLink *l = list->pWalk;
    if (!l)
        return nullptr;
    list->pWalk = l->pPrev;
    return l->pItem;
}

void ListDump(List *list) {
    if (!list)
        return;
    int pos = 1;
    for (ListLink *l = list->pFirst; l; l = l->pNext, ++pos) {
        // Short items show only their own bytes (the rest of the word is zero).
        int32_t word = 0;
        if (l->pItem && l->ItemSize > 0)
            std::memcpy(&word, l->pItem,
                        l->ItemSize < 4 ? static_cast<size_t>(l->ItemSize) : sizeof word);
        std::printf("%3i) %li\n", pos, static_cast<long>(word));
    }
}
