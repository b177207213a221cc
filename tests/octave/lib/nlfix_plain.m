function f = nlfix_plain(S, r, model, u, v, a, opt, arg)
% Force function of the tests: the spring of nlfix_snl as a plain array.
  f = S.k .* S.unl(:);
end
