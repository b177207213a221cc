function r = ifelse(condition, a, b)
% a when condition holds, b otherwise (for choosing words in messages).
  if condition, r = a; else, r = b; end
end
