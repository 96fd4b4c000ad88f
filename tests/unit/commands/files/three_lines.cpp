int a;
int b;
  return b;
