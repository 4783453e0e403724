#include "scene/node.h"

#include <algorithm>
#include <cstring>

#include "scene/bounds.h"

bool Item::isClass(const char* name) const {
    const char* mine = getClassName();
    return mine && name && std::strcmp(mine, name) == 0;
}

void Component::release() {
    if (--references_ <= 0) delete this;
}

// --- appearances and their registry ---

namespace {

// Index 0 is reserved and always null.
std::vector<Appearance*>& registry() {
    static std::vector<Appearance*> entries(1, nullptr);
    return entries;
}

}  // namespace

Appearance::Appearance() {
    std::vector<Appearance*>& r = registry();
    const auto free = std::find(r.begin() + 1, r.end(), nullptr);
    registryIndex_ = static_cast<int>(free - r.begin());
    if (free == r.end()) r.push_back(this);
    else *free = this;
}

Appearance::~Appearance() { registry()[registryIndex_] = nullptr; }

Appearance* AppearanceRegistry::lookup(int index) {
    const std::vector<Appearance*>& r = registry();
    return index > 0 && index < static_cast<int>(r.size()) ? r[index] : nullptr;
}

int AppearanceRegistry::size() { return static_cast<int>(registry().size()); }

// --- nodes ---

Node::Node() : bounds_(BoundsTable::instance().create()) {}

Node::~Node() { BoundsTable::instance().release(bounds_); }

void Node::getRootTransform(Matrix& m) const {
    if (parent_) parent_->getRootTransform(m);
    else m.setIdentity();
}

void Node::getWorldTransform(Matrix& m) const {
    if (parent_) parent_->getWorldTransform(m);
    else m.setIdentity();
}

int Node::accept(NodeVisitor& v) {
    if (!isEnabled()) return kVisitContinue;
    return visitAround(v.enterNode(*this), nothingInside, [&] { return v.leaveNode(*this); });
}

NodeList::~NodeList() {
    for (Node* n : nodes_) delete n;
}

bool NodeList::add(Node& owner, Node* child, const Matrix* boundsMatrix) {
    if (!child || child->parent_) return false;
    nodes_.push_back(child);
    child->parent_ = &owner;
    BoundsTable& table = BoundsTable::instance();
    table.link(owner.getBoundsIndex(), child->getBoundsIndex());
    table.setMatrix(child->getBoundsIndex(), boundsMatrix);
    return true;
}

bool NodeList::remove(Node* child) {
    const auto it = std::find(nodes_.begin(), nodes_.end(), child);
    if (it == nodes_.end()) return false;
    nodes_.erase(it);
    child->parent_ = nullptr;
    // The child keeps its record; only the link to ours goes.
    BoundsTable::instance().unlink(child->getBoundsIndex());
    return true;
}

int NodeList::visit(NodeVisitor& v) {
    for (Node* n : nodes_) {
        const int r = n->accept(v);
        if (r == kVisitStop || r == kVisitSkip) return r;
    }
    return kVisitContinue;
}

// --- entities and their transform ---

Entity::Entity(Appearance* appearance) : appearance_(appearance) {
    if (appearance_) appearance_->addReference();
}

Entity::~Entity() {
    if (appearance_) appearance_->release();
}

void Entity::setAppearance(Appearance* appearance) {
    if (appearance == appearance_) return;
    if (appearance) appearance->addReference();
    if (appearance_) appearance_->release();
    appearance_ = appearance;
}

void Entity::setReference(float x, float y, float z) {
    reference_ = Vec3{x, y, z};
    setFlag(kReference, x != 0 || y != 0 || z != 0);
    recompute();
}

void Entity::setPosition(float x, float y, float z) {
    position_ = Vec3{x, y, z};
    setFlag(kPosition, x != 0 || y != 0 || z != 0);
    recompute();
}

void Entity::setScale(float x, float y, float z) {
    scale_ = Vec3{x, y, z};
    setFlag(kScale, x != 1 || y != 1 || z != 1);
    recompute();
}

void Entity::setRotation(float angleDeg, float x, float y, float z) {
    setFlag(kRotation, angleDeg != 0);
    rotation_ = quaternionFromAngleAxis(angleDeg, x, y, z);
    recompute();
}

void Entity::setRotation(const Quaternion& q) {
    rotation_ = q;
    setFlag(kRotation, quaternionAngleDeg(q) != 0);
    recompute();
}

void Entity::getRotation(float& angleDeg, float& x, float& y, float& z) const {
    angleDeg = quaternionAngleDeg(rotation_);
    x = rotation_.x, y = rotation_.y, z = rotation_.z;
}

namespace {

// The one statement of an entity's transform order, replayed on a matrix (the local matrix that
// bounds and picking read) and on a visitor (drawing), so the two can never disagree:
//     M = T(position) T(reference) R(rotation) S(scale) T(-reference),
// each factor right-multiplied, as OpenGL does; the reference point matters only together with
// a rotation or a scale.
template <typename Ops>
void replayTransform(int flags, const Vec3& position, const Vec3& reference, const Quaternion& rotation,
                     const Vec3& scale, Ops& ops) {
    if (flags & Entity::kPosition) ops.translate(position);
    if (!(flags & (Entity::kScale | Entity::kRotation))) return;
    if (flags & Entity::kReference) ops.translate(reference);
    if (flags & Entity::kRotation) ops.rotate(rotation);
    if (flags & Entity::kScale) ops.scale(scale);
    if (flags & Entity::kReference) ops.translate(Vec3{-reference.x, -reference.y, -reference.z});
}

struct MatrixOps {
    Matrix& m;
    void translate(const Vec3& v) { m.translate(v.x, v.y, v.z); }
    void rotate(const Quaternion& q) { m.rotate(q); }
    void scale(const Vec3& v) { m.scale(v.x, v.y, v.z); }
};

}  // namespace

void Entity::recompute() {
    local_.setIdentity();
    MatrixOps ops{local_};
    replayTransform(flags_, position_, reference_, rotation_, scale_, ops);
    updateChildBounds();
}

void Entity::pushTransform(NodeVisitor& v) const {
    if (!flags_) return;
    v.pushMatrix();
    replayTransform(flags_, position_, reference_, rotation_, scale_, v);
}

void Entity::popTransform(NodeVisitor& v) const {
    if (flags_) v.popMatrix();
}

void Entity::getWorldTransform(Matrix& m) const {
    Node::getWorldTransform(m);
    if (flags_) m.multiply(local_);
}

// --- groups and coordinate systems ---

int Group::accept(NodeVisitor& v) {
    if (!isEnabled()) return kVisitContinue;
    // A child's "skip" ends its siblings and this group, whose leave is then not called.
    return visitAround(
        v.enterGroup(*this),
        [&] {
            if (getAppearance()) v.enterAppearance(*getAppearance());
            const int r = children_.visit(v);
            if (getAppearance()) v.leaveAppearance(*getAppearance());
            return r;
        },
        [&] { return v.leaveGroup(*this); });
}

void Group::updateChildBounds() {
    BoundsTable& table = BoundsTable::instance();
    for (Node* child : children_.nodes()) table.setMatrix(child->getBoundsIndex(), boundsMatrix());
}

void CoordSys::setMatrix(const Matrix* m) {
    if (m) matrix_ = std::make_unique<Matrix>(*m);
    else matrix_.reset();
    BoundsTable& table = BoundsTable::instance();
    for (Node* child : children_.nodes()) table.setMatrix(child->getBoundsIndex(), matrix_.get());
}

void CoordSys::getWorldTransform(Matrix& m) const {
    if (getParent()) {
        getParent()->getWorldTransform(m);
        if (matrix_) m.multiply(*matrix_);
    } else {
        m = matrix_ ? *matrix_ : Matrix::identity();
    }
}

int CoordSys::accept(NodeVisitor& v) {
    return visitAround(v.enterCoordSys(*this), [&] { return children_.visit(v); }, [&] { return v.leaveCoordSys(*this); });
}
