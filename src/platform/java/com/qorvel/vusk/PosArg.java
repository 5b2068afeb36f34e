package com.qorvel.vusk;

/** One argument of a client API call: a name and a value (Integer, String, StringBuffer,
 *  byte[] or null). Calls that return values replace the value through setValue. */
public class PosArg {
    private final String name;
    private Object value;

    public PosArg(String name, Object value) {
        this.name = name;
        this.value = value;
    }

    public String getName() {
        return name;
    }

    public Object getValue() {
        return value;
    }

    public void setValue(int value) {
        this.value = Integer.valueOf(value);
    }
}
