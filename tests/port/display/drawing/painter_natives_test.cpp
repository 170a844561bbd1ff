// painter natives tests
