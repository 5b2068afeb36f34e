package javax.comm;

/** Port ownership events between Java virtual machines. */
public interface CommPortOwnershipListener {
    int PORT_OWNED = 1;
    int PORT_UNOWNED = 2;
    int PORT_OWNERSHIP_REQUESTED = 3;

    void ownershipChange(int type);
}
