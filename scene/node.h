// The scene graph's objects. Items have a name and an enabled flag. Nodes form the tree: a Group
// or a CoordSys owns its children (deleting one deletes its subtree), an Object owns a list of
// shapes, and every node has a bounding-box record (scene/bounds.h) linked like the tree.
// Shapes and appearances are Components, reference-counted: an entity, a shape entry or a deferred
// shape record takes a reference when it stores one and drops it when it lets go, and the last
// drop deletes it. A new component starts at 0 references, owned by its creator until stored.
//
// An Entity carries a transform: position, a reference point (the pivot of rotation and scale),
// a rotation and a scale, each flagged only when it differs from its neutral value, kept both as a
// local matrix (for world-transform queries and bounds) and as the operations `pushTransform`
// replays on a visitor while drawing:
//     M = T(position) T(reference) R(rotation) S(scale) T(-reference),
// with the parts of neutral values left out, and the reference used only with a rotation or a
// scale. A CoordSys holds a ready matrix instead.
//
// All of it is used from the thread that owns the OpenGL context.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/node_visitor.h"
#include "scene/scene_math.h"

// The walk every `accept` shares: the enter slot's answer 1 stops everything and 2 skips the
// node (its accept answers 0); otherwise `inside` runs (the children, say), and its answer 1 or 2
// ends the node the same way without its leave; else the leave slot answers.
template <typename Inside, typename Leave>
int visitAround(int entered, Inside inside, Leave leave) {
    if (entered == kVisitStop) return kVisitStop;
    if (entered == kVisitSkip) return kVisitContinue;
    const int r = inside();
    if (r == kVisitStop) return kVisitStop;
    if (r == kVisitSkip) return kVisitContinue;
    return leave();
}
inline int nothingInside() { return kVisitContinue; }

class SceneWriter;

class Item {
public:
    Item() = default;
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;
    virtual ~Item() = default;
    virtual const char* getClassName() const { return "Item"; }
    // Writes the item's scene description (scene/scene_writer.h); Item's own is its name line.
    virtual void dump(SceneWriter& w);

    void setName(const char* name) { name_ = name ? name : ""; hasName_ = name != nullptr; }
    const char* getName() const { return hasName_ ? name_.c_str() : nullptr; }
    bool hasName(const char* name) const { return hasName_ && name && name_ == name; }
    bool isClass(const char* name) const;
    bool isEnabled() const { return enabled_; }
    void setEnabledFlag(bool on) { enabled_ = on; }

private:
    std::string name_;
    bool hasName_ = false;
    bool enabled_ = true;
};

class Component : public Item {
public:
    const char* getClassName() const override { return "Component"; }
    void addReference() { ++references_; }
    // Drops one reference; the last one deletes the component.
    void release();
    int references() const { return references_; }

private:
    int references_ = 0;
};

// How a surface looks: applied before what it covers is drawn, restored after.
class Appearance : public Component {
public:
    Appearance();
    ~Appearance() override;
    const char* getClassName() const override { return "Appearance"; }
    virtual void apply() = 0;
    virtual void restore() = 0;
    virtual bool isOpaque() const = 0;
    int registryIndex() const { return registryIndex_; }

private:
    int registryIndex_;
};

// Every live appearance by a small index from 1 up; a freed index is reused by the next one.
namespace AppearanceRegistry {
Appearance* lookup(int index);  // null for 0, for a freed index and beyond the end
int size();                     // one past the largest index ever given
}

class Node : public Item {
public:
    Node();
    ~Node() override;
    const char* getClassName() const override { return "Node"; }
    virtual void getRootTransform(Matrix& m) const;
    virtual void getWorldTransform(Matrix& m) const;
    virtual int accept(NodeVisitor& v);
    Node* getParent() const { return parent_; }
    int getBoundsIndex() const { return bounds_; }

private:
    friend class NodeList;
    Node* parent_ = nullptr;
    int bounds_;
};

// An owning list of child nodes, in order.
class NodeList {
public:
    NodeList() = default;
    NodeList(const NodeList&) = delete;
    NodeList& operator=(const NodeList&) = delete;
    ~NodeList();
    // Links the child under `owner` (parent and bounds); false for null or a child with a parent.
    bool add(Node& owner, Node* child, const Matrix* boundsMatrix);
    bool remove(Node* child);  // detaches without deleting; false when not in the list
    int visit(NodeVisitor& v);  // each child's accept: 1 or 2 ends the walk with that answer
    const std::vector<Node*>& nodes() const { return nodes_; }

private:
    std::vector<Node*> nodes_;
};

class Entity : public Node {
public:
    enum Flags { kReference = 1, kPosition = 2, kScale = 4, kRotation = 8 };

    explicit Entity(Appearance* appearance = nullptr);
    ~Entity() override;
    const char* getClassName() const override { return "Entity"; }
    void dump(SceneWriter& w) override;
    void getWorldTransform(Matrix& m) const override;
    virtual void updateChildBounds() {}

    void setReference(float x, float y, float z);
    void setPosition(float x, float y, float z);
    void setScale(float x, float y, float z);
    void setRotation(float angleDeg, float x, float y, float z);
    void setRotation(const Quaternion& q);
    const Vec3& getReference() const { return reference_; }
    const Vec3& getPosition() const { return position_; }
    const Vec3& getScale() const { return scale_; }
    // The angle 2 acos(w) in degrees and the quaternion's x, y, z as stored.
    void getRotation(float& angleDeg, float& x, float& y, float& z) const;
    const Quaternion& getQuaternion() const { return rotation_; }
    int getFlags() const { return flags_; }
    const Matrix& getLocalMatrix() const { return local_; }

    void pushTransform(NodeVisitor& v) const;
    void popTransform(NodeVisitor& v) const;

    Appearance* getAppearance() const { return appearance_; }
    void setAppearance(Appearance* appearance);

protected:
    // The local matrix when any flag is set, else null: what children's bounds are seen through.
    const Matrix* boundsMatrix() const { return flags_ ? &local_ : nullptr; }

private:
    int flags_ = 0;
    Vec3 reference_, position_, scale_{1, 1, 1};
    Quaternion rotation_;
    Matrix local_;
    Appearance* appearance_ = nullptr;

    void setFlag(int bit, bool on) { flags_ = on ? flags_ | bit : flags_ & ~bit; }
    void recompute();
};

class Group : public Entity {
public:
    using Entity::Entity;
    const char* getClassName() const override { return "Group"; }
    void dump(SceneWriter& w) override;
    int accept(NodeVisitor& v) override;
    void updateChildBounds() override;
    bool addChild(Node* child) { return children_.add(*this, child, boundsMatrix()); }
    bool removeChild(Node* child) { return children_.remove(child); }
    const std::vector<Node*>& children() const { return children_.nodes(); }

private:
    NodeList children_;
};

// A node with a ready matrix (none: the identity) and children.
class CoordSys : public Node {
public:
    const char* getClassName() const override { return "CoordSys"; }
    void dump(SceneWriter& w) override;
    void getWorldTransform(Matrix& m) const override;
    int accept(NodeVisitor& v) override;
    void setMatrix(const Matrix* m);
    const Matrix* getMatrix() const { return matrix_.get(); }
    bool addChild(Node* child) { return children_.add(*this, child, matrix_.get()); }
    bool removeChild(Node* child) { return children_.remove(child); }
    const std::vector<Node*>& children() const { return children_.nodes(); }

private:
    std::unique_ptr<Matrix> matrix_;
    NodeList children_;
};
