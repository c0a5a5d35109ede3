#pragma once

#include <boost/iterator/indirect_iterator.hpp>

#include <cstddef>
#include <memory>
#include <vector>

namespace kel::libs::context_utils::objects {

// The objects of one server answer, as views of type View in the answer's
// order. Copies share the answer and the views, which stay valid as long as
// any copy lives.
template <typename View>
class objects_range {
public:
    using views = std::vector<std::shared_ptr<View>>;
    using iterator = boost::indirect_iterator<typename views::const_iterator, View&>;

    // `answer` is whatever owns the JSON the views read.
    objects_range(std::shared_ptr<const void> answer, views objects)
        : m_answer(std::move(answer)), m_objects(std::move(objects)) {}

    iterator begin() const { return iterator(m_objects.begin()); }
    iterator end() const { return iterator(m_objects.end()); }
    std::size_t size() const { return m_objects.size(); }
    bool empty() const { return m_objects.empty(); }

private:
    std::shared_ptr<const void> m_answer;
    views m_objects;
};

}  // namespace kel::libs::context_utils::objects
