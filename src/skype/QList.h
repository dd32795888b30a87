#pragma once
// Small singly linked list: the list holds only its head; elements are copied
// in and out and nobody outside ever holds a node. Failures (allocation or a
// throwing copy) are reported to the debugger output and leave the list as it was.
#include "base/StringUtil.h"

template <typename T>
class QList {
public:
    QList() = default;
    ~QList() { Clear(); }
    QList(const QList&) = delete;
    QList& operator=(const QList&) = delete;

    int GetCount() const {
        int nCount = 0;
        for (const Node* p = m_pHead; p; p = p->pNext) ++nCount;
        return nCount;
    }

    void Append(const T& element) {
        Node* pNew = NewNode(element);
        if (!pNew) {
            TraceW(L"QList<T>::Append\n");
            return;
        }
        Node** ppLink = &m_pHead;
        while (*ppLink) ppLink = &(*ppLink)->pNext;
        *ppLink = pNew;
    }

    bool Replace(int nIndex, const T& element) {
        Node** ppLink = LinkAt(nIndex);
        if (!ppLink) return false;
        Node* pNew = NewNode(element);
        if (!pNew) {
            TraceW(L"QList<T>::Replace");
            return false;
        }
        Node* pOld = *ppLink;
        pNew->pNext = pOld->pNext;
        *ppLink = pNew;
        delete pOld;
        return true;
    }

    T At(int nIndex) const {
        if (!m_pHead) return T();
        const Node* p = m_pHead;
        for (int i = 0; p && i < nIndex; ++i) p = p->pNext;
        if (nIndex < 0 || !p) {
            TraceW(L"QList<T>::At(");
            return T();
        }
        try {
            return p->value;
        } catch (...) {
            TraceW(L"QList<T>::At(");
            return T();
        }
    }

    void Remove2(int nIndex) {
        Node** ppLink = LinkAt(nIndex);
        if (!ppLink) return;
        Node* pOld = *ppLink;
        *ppLink = pOld->pNext;
        delete pOld;
    }

    // Index of the first element for which pred(element) holds, or -1. One walk
    // of the list, so lookups stay linear however long the list grows.
    template <typename Pred>
    int FindIndex(Pred pred) const {
        int i = 0;
        for (const Node* p = m_pHead; p; p = p->pNext, ++i) {
            if (pred(p->value)) return i;
        }
        return -1;
    }

    // Calls fn(element) for every element in order, without copying.
    template <typename Fn>
    void ForEach(Fn fn) const {
        for (const Node* p = m_pHead; p; p = p->pNext) fn(p->value);
    }

    void Clear() {
        while (m_pHead) {
            Node* p = m_pHead;
            m_pHead = p->pNext;
            delete p;
        }
    }

private:
    struct Node {
        explicit Node(const T& v) : value(v) {}
        T value;
        Node* pNext = nullptr;
    };

    static Node* NewNode(const T& element) {
        try {
            return new Node(element);
        } catch (...) {
            return nullptr;
        }
    }

    // The link that points at the node of nIndex, or null when there is none.
    Node** LinkAt(int nIndex) {
        if (nIndex < 0) return nullptr;
        Node** ppLink = &m_pHead;
        for (int i = 0; *ppLink && i < nIndex; ++i) ppLink = &(*ppLink)->pNext;
        return *ppLink ? ppLink : nullptr;
    }

    Node* m_pHead = nullptr;
};
