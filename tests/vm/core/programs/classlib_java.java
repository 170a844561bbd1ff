package app;

// The classlib_java program in Java: classlib_java.expected is what OpenJDK
// 17 prints for it (javac -d out classlib_java.java && java -cp out app.Main).
class Fixed {
    public int hashCode() { return 0xCAFE; }
}

class Negative {
    public int hashCode() { return -2; }
}

class Zero {
    public int hashCode() { return 0; }
}

class Worker implements Runnable {
    public void run() { System.out.println("worker ran"); }
}

class Main {
    public static void main(String[] args) throws Exception {
        // Object.toString: the class name, "@", the hash code in hexadecimal.
        System.out.println(new Fixed());
        System.out.println(new Negative());
        System.out.println(new Zero());
        // String overrides equals and hashCode.
        Object a = "abc";
        System.out.println(a.equals(new String(new byte[] {'a', 'b', 'c'}, 0, 3)));
        System.out.println(a.equals("abd"));
        System.out.println(a.equals(null));
        System.out.println(a.equals(new Object()));
        System.out.println(a.hashCode());
        System.out.println("".hashCode());
        // A thread never started is not alive, and join returns at once.
        Thread never = new Thread();
        System.out.println(never.isAlive());
        never.join();
        System.out.println("joined");
        // Names: "Thread-" and a number unless given.
        System.out.println(never.getName());
        System.out.println(Thread.currentThread().getName());
        // Priorities: the creator's.
        System.out.println(Thread.currentThread().getPriority());
        System.out.println(new Thread().getPriority());
        Thread.currentThread().setPriority(7);
        Thread seven = new Thread(new Worker());
        System.out.println(seven.getPriority());
        System.out.println(seven.getName());
        Thread.currentThread().setPriority(5);
        System.out.println(new Thread("named").getName());
        Thread runner = new Thread(new Worker(), "runner");
        System.out.println(runner.getName());
        System.out.println(runner.getPriority());
        runner.start();
        runner.join();
        System.out.println(runner.isAlive());
        try {
            new Thread((String) null);
        } catch (NullPointerException e) {
            System.out.println("no thread without a name");
        }
        try {
            new Thread(new Worker(), null);
        } catch (NullPointerException e) {
            System.out.println("no thread without a name");
        }
        // (The image's program walks the virtual machine's interned-string
        // records to their end here, which Java has no call for.)
        // intern: one String for each text, the literals' own.
        String abc = new String(new byte[] {'a', 'b', 'c'}, 0, 3);
        System.out.println(abc == "abc");
        System.out.println(abc.intern() == "abc");
        String first = new String(new byte[] {'x', 'y', 'z', 'q'}, 0, 4);
        System.out.println(first.intern() == first);
        String second = new String(new byte[] {'x', 'y', 'z', 'q'}, 0, 4);
        System.out.println(second == first);
        System.out.println(second.intern() == first);
        System.out.println("abc".intern() == "abc");
        // A method the image adds to String.
        System.out.println("abc".charAt(1));
    }
}
