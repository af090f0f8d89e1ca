// Document order: a doubly linked list of nodes whose double ordinals make
// "does a come before b" a single comparison.
#pragma once

namespace depman {

template <class T>
class OrderedListNode;

// Owns its nodes; destroys them from the last to the first.
template <class T>
class OrderedList {
 public:
  using Node = OrderedListNode<T>;

  OrderedList() = default;
  OrderedList(const OrderedList&) = delete;
  OrderedList& operator=(const OrderedList&) = delete;
  virtual ~OrderedList() {
    while (m_last != nullptr) delete m_last;  // the node unlinks itself
  }

  Node* first() const noexcept { return m_first; }
  Node* last() const noexcept { return m_last; }

  // The number of nodes; walks the list.
  int length() const noexcept {
    int n = 0;
    for (Node* p = m_first; p != nullptr; p = p->m_next) ++n;
    return n;
  }

  // Relabels the nodes 0, 1, 2, ... keeping their order.
  void regularize() noexcept {
    double ord = 0.0;
    for (Node* p = m_first; p != nullptr; p = p->m_next) p->m_ord = ord++;
  }

 private:
  friend Node;
  Node* m_first = nullptr;
  Node* m_last = nullptr;
};

// A list node: T extended with its links and its ordinal.
template <class T>
class OrderedListNode : public T {
 public:
  using List = OrderedList<T>;

  OrderedListNode() = default;
  OrderedListNode(const OrderedListNode&) = delete;
  OrderedListNode& operator=(const OrderedListNode&) = delete;
  ~OrderedListNode() override { remove(); }

  // Links this node directly after `nd`; with no `nd`, after the first node.
  void insert_after(List* list, OrderedListNode* nd) noexcept {
    m_list = list;
    if (nd == nullptr) nd = list->m_first;
    if (nd == nullptr) {
      link_alone(list);
    } else {
      m_prev = nd;
      m_next = nd->m_next;
      nd->m_next = this;
      if (m_next != nullptr) m_next->m_prev = this;
      if (list->m_last == nd) list->m_last = this;
    }
    calculate_ord_val(list);
  }

  // Links this node directly before `nd`; with no `nd`, at the front.
  void insert_before(List* list, OrderedListNode* nd) noexcept {
    m_list = list;
    if (nd == nullptr) nd = list->m_first;
    if (nd == nullptr) {
      link_alone(list);
    } else {
      m_next = nd;
      m_prev = nd->m_prev;
      nd->m_prev = this;
      if (m_prev != nullptr) m_prev->m_next = this;
      if (list->m_first == nd) list->m_first = this;
    }
    calculate_ord_val(list);
  }

  // Unlinks this node; other ordinals stay as they are.
  void remove() noexcept {
    if (m_prev != nullptr) m_prev->m_next = m_next;
    if (m_next != nullptr) m_next->m_prev = m_prev;
    if (m_list != nullptr) {
      if (m_list->m_first == this) m_list->m_first = m_next;
      if (m_list->m_last == this) m_list->m_last = m_prev;
    }
    m_prev = nullptr;
    m_next = nullptr;
  }

  OrderedListNode* next_node() const noexcept { return m_next; }
  OrderedListNode* previous_node() const noexcept { return m_prev; }
  double ord() const noexcept { return m_ord; }
  bool operator<(const OrderedListNode& m) const noexcept { return m_ord < m.m_ord; }

 private:
  friend List;

  // Gaps narrower than this relabel the list.
  static constexpr double kMinGap = 1e-10;

  void link_alone(List* list) noexcept {
    list->m_first = this;
    list->m_last = this;
    m_prev = nullptr;
    m_next = nullptr;
  }

  // Labels a freshly linked node: the midpoint of its neighbours, or one unit
  // beyond the end it joins. Relabels the whole list when the gap has become
  // too narrow, or when rounding made the new ordinal equal a neighbour's
  // (ordinals so large that doubles are farther apart than the threshold).
  void calculate_ord_val(List* list) noexcept {
    if (m_prev != nullptr && m_next != nullptr) {
      m_ord = (m_next->m_ord + m_prev->m_ord) * 0.5;
      if (m_ord - m_prev->m_ord < kMinGap || !(m_ord < m_next->m_ord)) list->regularize();
    } else if (m_prev != nullptr) {
      m_ord = m_prev->m_ord + 1.0;
      if (!(m_ord > m_prev->m_ord)) list->regularize();
    } else if (m_next != nullptr) {
      m_ord = m_next->m_ord - 1.0;
      if (!(m_ord < m_next->m_ord)) list->regularize();
    } else {
      m_ord = 0.0;
    }
  }

  double m_ord = 0.0;  // first: T's last fields and the ordinal are read together
  List* m_list = nullptr;
  OrderedListNode* m_prev = nullptr;
  OrderedListNode* m_next = nullptr;
};

}  // namespace depman

namespace depman {

// Document order between two nodes of one list: one comparison of ordinals.
struct value_less {
  template <class N>
  bool operator()(const N* a, const N* b) const noexcept {
    return a->ord() < b->ord();
  }
};

}  // namespace depman
